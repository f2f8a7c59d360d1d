#include "app/rom_list.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
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


// Sorts alphabetically without regard to case (QString::compare with
// Qt::CaseInsensitive), the exact spelling breaking ties. Most ROM names are
// ASCII: for them the letters are folded once into a key compared as bytes;
// only a pair with another character goes through Qt's Unicode folding.
void sortForList(QStringList &names)
{
    // Small keys: where the folded text starts and how long it is, whether the
    // name is ASCII, and where the name stands in the list.
    struct Key {
        std::uint32_t offset;
        std::uint32_t length : 31;
        std::uint32_t ascii : 1;
        std::uint32_t index;
    };
    std::string folded;
    std::vector<Key> keys;
    keys.reserve(std::size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names.at(i);
        const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
        keys.push_back({std::uint32_t(folded.size()), std::uint32_t(ascii ? name.size() : 0), ascii,
                        std::uint32_t(i)});
        if (ascii)
            for (QChar c : name)
                folded += char(c >= u'A' && c <= u'Z' ? c.unicode() + ('a' - 'A') : c.unicode());
    }
    const std::string_view text(folded);
    std::sort(keys.begin(), keys.end(), [&](const Key &a, const Key &b) {
        const QString &x = names.at(a.index);
        const QString &y = names.at(b.index);
        int order = a.ascii && b.ascii ? text.substr(a.offset, a.length).compare(text.substr(b.offset, b.length))
                                       : x.compare(y, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : x < y;
    });
    // Put the names in key order in place, one cycle of the permutation at a time.
    constexpr std::uint32_t kPlaced = UINT32_MAX;
    for (std::size_t start = 0; start < keys.size(); ++start) {
        if (keys[start].index == kPlaced)
            continue;
        QString held = std::move(names[qsizetype(start)]);
        std::size_t at = start;
        while (keys[at].index != start) {
            const std::size_t from = keys[at].index;
            names[qsizetype(at)] = std::move(names[qsizetype(from)]);
            keys[at].index = kPlaced;
            at = from;
        }
        names[qsizetype(at)] = std::move(held);
        keys[at].index = kPlaced;
    }
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
    sortForList(names);
    setStringList(names);
    m_blocks = std::move(blocks);
}
