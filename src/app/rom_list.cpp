#include "app/rom_list.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <type_traits>
#include <vector>

namespace {

namespace fs = std::filesystem;
using NativeChar = fs::path::value_type;
using NativeView = std::basic_string_view<NativeChar>;

// "*.bin" in any letter case.
bool isRomFileName(NativeView name)
{
    if (name.size() < 4)
        return false;
    const NativeView suffix = name.substr(name.size() - 4);
    return suffix[0] == '.' && (suffix[1] | 0x20) == 'b' && (suffix[2] | 0x20) == 'i'
           && (suffix[3] | 0x20) == 'n';
}

// Where names are bytes a leading dot hides a file; elsewhere the file
// system keeps a hidden flag.
[[maybe_unused]] bool isHiddenEntry(std::string_view name, const fs::path &)
{
    return name.front() == '.';
}
[[maybe_unused]] bool isHiddenEntry(std::wstring_view, const fs::path &path)
{
    return QFileInfo(QString::fromStdWString(path.wstring())).isHidden();
}

[[maybe_unused]] QString decodeName(std::string_view name)
{
    return QString::fromLocal8Bit(QByteArrayView(name.data(), qsizetype(name.size())));
}
[[maybe_unused]] QString decodeName(std::wstring_view name)
{
    return QString::fromWCharArray(name.data(), qsizetype(name.size()));
}

// A name that is not valid in the file names' encoding could not be opened
// again by the name shown, so it is not listed.
[[maybe_unused]] bool namesSameFile(const QString &decoded, std::string_view name)
{
    return QFile::encodeName(decoded) == QByteArrayView(name.data(), qsizetype(name.size()));
}
[[maybe_unused]] bool namesSameFile(const QString &, std::wstring_view)
{
    return true;
}


// The order of QString::compare(Qt::CaseInsensitive), then the exact
// spelling. Folding ASCII letters here instead of through the Unicode tables
// makes sorting a large folder several times faster; any other character
// leaves the pair to Qt.
inline bool listedBefore(const QString &a, const QString &b)
{
    const QChar *x = a.constData();
    const QChar *y = b.constData();
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        char16_t p = x[i].unicode();
        char16_t q = y[i].unicode();
        if (p == q)
            continue;
        if (p >= 0x80 || q >= 0x80) {
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a < b;
        }
        if (p >= 'A' && p <= 'Z')
            p += 'a' - 'A';
        if (q >= 'A' && q <= 'Z')
            q += 'a' - 'A';
        if (p != q)
            return p < q;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

} // namespace

// The names of the list, in blocks that never move; the list's strings refer
// to them rather than each holding an allocation of its own, which halves
// what a folder of 100,000 ROMs costs in memory.
class RomNameBlocks {
public:
    std::optional<QString> add(NativeView name)
    {
        const bool ascii = std::all_of(name.begin(), name.end(), [](NativeChar c) {
            return static_cast<std::make_unsigned_t<NativeChar>>(c) < 0x80;
        });
        const QString decoded = ascii ? QString() : decodeName(name);
        if (!ascii && !namesSameFile(decoded, name))
            return std::nullopt;
        const qsizetype length = ascii ? qsizetype(name.size()) : decoded.size();
        if (length > m_free) {
            m_free = std::max(length, kBlockChars);
            m_blocks.push_back(std::make_unique<QChar[]>(std::size_t(m_free)));
            m_next = m_blocks.back().get();
        }
        QChar *text = m_next;
        if (ascii)
            std::transform(name.begin(), name.end(), text, [](NativeChar c) { return QChar(char16_t(c)); });
        else
            std::copy(decoded.cbegin(), decoded.cend(), text);
        m_next += length;
        m_free -= length;
        return QString::fromRawData(text, length);
    }

private:
    static constexpr qsizetype kBlockChars = 16 * 1024;
    std::vector<std::unique_ptr<QChar[]>> m_blocks;
    QChar *m_next = nullptr;
    qsizetype m_free = 0;
};

RomList::RomList(QObject *parent)
    : QStringListModel(parent), m_blocks(std::make_unique<RomNameBlocks>())
{
}

RomList::~RomList()
{
    // The strings refer into the blocks: drop them first.
    setStringList({});
}

void RomList::fill()
{
    // The directory entry says what each entry is, so only links are looked
    // at further and no file is opened.
    QStringList names;
    auto blocks = std::make_unique<RomNameBlocks>();
    std::error_code error;
    for (fs::directory_iterator entry(".", error), end; !error && entry != end; entry.increment(error)) {
        const NativeView full = entry->path().native();
        const NativeView name = full.substr(full.find_last_of(fs::path::preferred_separator) + 1);
        std::error_code typeError;
        if (!isRomFileName(name) || !entry->is_regular_file(typeError)
            || isHiddenEntry(name, entry->path()))
            continue;
        if (const std::optional<QString> text = blocks->add(name))
            names.append(*text);
    }
    std::sort(names.begin(), names.end(), listedBefore);
    setStringList(names);
    m_blocks = std::move(blocks);
}
