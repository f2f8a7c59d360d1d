#include "app/rom_list.h"

#include "base/ascii.h"
#include "platform/folder.h"

#include <QFile>
#include <QtEndian>
#include <QString>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <utility>

namespace {

// "*.bin" in any letter case.
bool isRomFileName(std::string_view name)
{
    return name.size() >= 4 && QByteArrayView(name).last(4).compare(".bin", Qt::CaseInsensitive) == 0;
}

bool isAscii(std::string_view name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString decoded(std::string_view name)
{
    return QFile::decodeName(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

// The list's order is QString::compare with Qt::CaseInsensitive on the names
// as shown, the exact spelling breaking ties, and at last the bytes on disk
// (two names that are not UTF-8 can look alike). Most ROM names are ASCII:
// for them the first sixteen folded bytes are kept in two integers that
// decide nearly every comparison; only a pair with another character goes
// through Qt's Unicode folding.
struct SortKey {
    std::uint64_t head[2]; // ASCII: folded bytes 0-15, big-endian, zero padded;
                           // otherwise head[0] is the place in the decoded names
    std::uint32_t offset;
    std::uint32_t length : 31;
    std::uint32_t ascii : 1;
};

// Eight bytes of `text` from `at` (zero padded), ASCII letters folded to lower
// case all at once, as a big-endian number: comparing two of them compares the
// folded bytes in order.
std::uint64_t foldedHead(std::string_view text, std::size_t at)
{
    unsigned char bytes[8] = {};
    if (at < text.size())
        std::memcpy(bytes, text.data() + at, std::min<std::size_t>(8, text.size() - at));
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
    const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~word & kHigh;
    word |= upper >> 2; // 'A' + 0x20 == 'a'
    return qFromBigEndian<std::uint64_t>(&word);
}

// Least significant byte first, one stable counting pass per head byte in
// which the keys differ.
void radixSortByHeads(std::vector<SortKey> &keys)
{
    constexpr int kBytes = 16;
    const auto digit = [](const SortKey &k, int byte) {
        return unsigned(k.head[byte / 8] >> (56 - 8 * (byte % 8))) & 0xFF;
    };
    std::vector<std::array<std::uint32_t, 256>> counts(kBytes);
    for (const SortKey &k : keys)
        for (int byte = 0; byte < kBytes; ++byte)
            ++counts[std::size_t(byte)][digit(k, byte)];
    std::vector<SortKey> other(keys.size());
    for (int byte = kBytes - 1; byte >= 0; --byte) {
        std::array<std::uint32_t, 256> &count = counts[std::size_t(byte)];
        if (std::find(count.begin(), count.end(), std::uint32_t(keys.size())) != count.end())
            continue; // every key has the same byte here
        std::uint32_t next = 0;
        for (std::uint32_t &c : count)
            next += std::exchange(c, next);
        for (const SortKey &k : keys)
            other[count[digit(k, byte)]++] = k;
        keys.swap(other);
    }
}

class Sorter {
public:
    explicit Sorter(const platform::FolderNames &folder) : m_bytes(folder.bytes) {}

    SortKey key(std::uint32_t offset, std::uint32_t length)
    {
        const std::string_view name = m_bytes.substr(offset, length);
        if (!isAscii(name)) {
            m_decoded.push_back(decoded(name));
            return {{m_decoded.size() - 1, 0}, offset, length, 0};
        }
        return {{foldedHead(name, 0), foldedHead(name, 8)}, offset, length, 1};
    }

    void sort(std::vector<SortKey> &keys) const
    {
        const auto less = [this](const SortKey &a, const SortKey &b) { return this->less(a, b); };
        if (!m_decoded.empty()) {
            std::sort(keys.begin(), keys.end(), less);
            return;
        }
        // All ASCII: a radix sort on the sixteen head bytes, then the few
        // runs of equal heads by the full comparison.
        radixSortByHeads(keys);
        for (auto run = keys.begin(); run != keys.end();) {
            const auto end = std::find_if(run, keys.end(), [run](const SortKey &k) {
                return k.head[0] != run->head[0] || k.head[1] != run->head[1];
            });
            if (end - run > 1)
                std::sort(run, end, less);
            run = end;
        }
    }

    bool less(const SortKey &a, const SortKey &b) const
    {
        if (a.ascii & b.ascii) {
            if (a.head[0] != b.head[0])
                return a.head[0] < b.head[0];
            if (a.head[1] != b.head[1])
                return a.head[1] < b.head[1];
        }
        return lessBeyondHeads(a, b);
    }

private:
    std::string_view name(const SortKey &k) const { return m_bytes.substr(k.offset, k.length); }

    bool lessBeyondHeads(const SortKey &a, const SortKey &b) const
    {
        const int order = a.ascii && b.ascii ? foldedTailOrder(a, b) : unicodeOrder(a, b);
        if (order != 0)
            return order < 0;
        return name(a) < name(b);
    }

    int foldedTailOrder(const SortKey &a, const SortKey &b) const
    {
        const std::string_view x = name(a), y = name(b);
        for (std::size_t i = 16; i < x.size() && i < y.size(); ++i)
            if (ascii::toLower(x[i]) != ascii::toLower(y[i]))
                return ascii::toLower(x[i]) < ascii::toLower(y[i]) ? -1 : 1;
        return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
    }

    // Rare: at least one name has other characters. Ties are decided on the
    // shown text first, as Qt orders strings.
    int unicodeOrder(const SortKey &a, const SortKey &b) const
    {
        const QString x = text(a), y = text(b);
        if (const int order = x.compare(y, Qt::CaseInsensitive))
            return order;
        return x == y ? 0 : (x < y ? -1 : 1);
    }

    QString text(const SortKey &k) const
    {
        return k.ascii ? QString::fromLatin1(name(k).data(), qsizetype(k.length)) : m_decoded[k.head[0]];
    }

    std::string_view m_bytes;
    std::vector<QString> m_decoded;
};

} // namespace

RomNames RomNames::readCurrentFolder()
{
    platform::FolderNames folder = platform::listCurrentFolder(isRomFileName);
    Sorter sorter(folder);
    std::vector<SortKey> keys;
    keys.reserve(folder.ends.size());
    std::uint32_t start = 0;
    for (std::uint32_t end : folder.ends) {
        keys.push_back(sorter.key(start, end - start));
        start = end;
    }
    sorter.sort(keys);

    RomNames names;
    names.m_rows.reserve(keys.size());
    for (const SortKey &k : keys)
        names.m_rows.push_back({k.offset, k.length});
    names.m_bytes = std::move(folder.bytes);
    return names;
}

std::future<RomNames> RomNames::readCurrentFolderAsync()
{
    // Deferred as well: where no thread can be started the folder is read
    // when the result is first asked for.
    return std::async(std::launch::async | std::launch::deferred, &RomNames::readCurrentFolder);
}

RomList::RomList(RomNames names, QObject *parent)
    : QAbstractListModel(parent), m_names(std::move(names))
{
}

int RomList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(std::min<qsizetype>(m_names.size(), INT_MAX));
}

QVariant RomList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    // Decoded when asked for: the view asks only for the rows it shows.
    return decoded(m_names.at(index.row()));
}

QByteArray RomList::fileName(int row) const
{
    const std::string_view name = m_names.at(row);
    return QByteArray(name.data(), qsizetype(name.size()));
}
