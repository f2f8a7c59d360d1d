#include "app/rom_list.h"

#include "base/ascii.h"
#include "platform/folder.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <utility>

namespace {

// "*.bin" in any letter case.
bool isRomFileName(std::string_view name)
{
    return name.size() >= 4 && ascii::equalIgnoringCase(name.substr(name.size() - 4), std::string_view(".bin"));
}

QString decoded(std::string_view name)
{
    return QFile::decodeName(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

// The list's order is QString::compare with Qt::CaseInsensitive on the names
// as shown, the exact spelling breaking ties, and at last the bytes on disk
// (two names that are not UTF-8 can look alike). Most ROM names are ASCII:
// for them the first sixteen folded bytes, kept while the folder is read,
// decide nearly every comparison; only a pair with another character goes
// through Qt's Unicode folding.
constexpr int kHeadBytes = 16;
using Head = std::array<unsigned char, kHeadBytes>;
// A name with other characters than ASCII: the head's last byte, never a
// folded ASCII byte, marks it, and its first four hold its place in the
// decoded names.
constexpr unsigned char kNotAscii = 0xFF;

// The first sixteen bytes of a name (zero padded), ASCII letters folded to
// lower case eight at a time: for ASCII names, comparing two heads bytewise
// compares the folded names' beginnings. False when the name is not ASCII.
bool foldedHead(std::string_view name, Head &head)
{
    head = Head{};
    std::memcpy(head.data(), name.data(), std::min<std::size_t>(kHeadBytes, name.size()));
    constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    std::uint64_t high = 0;
    for (int half = 0; half < 2; ++half) {
        std::uint64_t word;
        std::memcpy(&word, head.data() + 8 * half, 8);
        high |= word & kHigh;
        const std::uint64_t low7 = word & ~kHigh;
        const std::uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
        const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
        word |= (atLeastA & ~aboveZ & ~word & kHigh) >> 2; // 'A' + 0x20 == 'a'
        std::memcpy(head.data() + 8 * half, &word, 8);
    }
    const auto beyond = name.size() > kHeadBytes ? name.substr(kHeadBytes) : std::string_view();
    return high == 0 && std::all_of(beyond.begin(), beyond.end(), [](char c) { return (c & 0x80) == 0; });
}

// The folder's names as they are read: their bytes back to back, where each
// ends, its head, and at which head places the heads differ at all (the radix
// sort skips the others).
class FolderList final : public platform::FolderReader {
public:
    bool wanted(std::string_view name) const override { return isRomFileName(name); }

    void expect(std::size_t bytes) override
    {
        // Usually more than the names need, taken as address space only: the
        // pages that stay unused are never touched, and no name is copied
        // again as the list grows. A folder that claims more grows as usual.
        bytes = std::min<std::size_t>(bytes, 16 << 20);
        m_bytes.reserve(bytes);
        m_ends.reserve(bytes / 8);
        m_heads.reserve(bytes / 8);
    }

    bool take(std::string_view name) override
    {
        if (m_bytes.size() + name.size() > UINT32_MAX)
            return false;
        m_bytes.append(name);
        m_ends.push_back(std::uint32_t(m_bytes.size()));
        Head head;
        if (foldedHead(name, head)) {
            if (m_heads.empty())
                m_first = head;
            for (int half = 0; half < 2; ++half)
                m_differ[half] |= word(head, half) ^ word(m_first, half);
            m_heads.push_back(head);
        } else {
            head = Head{};
            const auto place = std::uint32_t(m_decoded.size());
            std::memcpy(head.data(), &place, sizeof place);
            head.back() = kNotAscii;
            m_heads.push_back(head);
            m_decoded.push_back(decoded(name));
        }
        return true;
    }

    // The places of the names in list order.
    std::vector<std::uint32_t> sortedOrder() const
    {
        std::vector<std::uint32_t> order(m_ends.size());
        std::iota(order.begin(), order.end(), 0);
        const auto less = [this](std::uint32_t a, std::uint32_t b) { return this->less(a, b); };
        if (!m_decoded.empty()) {
            std::sort(order.begin(), order.end(), less);
            return order;
        }
        // All ASCII: a radix sort on the sixteen head bytes, then the few
        // runs of equal heads by the full comparison.
        radixSortByHeads(order);
        for (auto run = order.begin(); run != order.end();) {
            const Head &head = m_heads[*run];
            const auto end = std::find_if(run + 1, order.end(), [&](std::uint32_t k) {
                return word(m_heads[k], 0) != word(head, 0) || word(m_heads[k], 1) != word(head, 1);
            });
            if (end - run > 1)
                std::sort(run, end, less);
            run = end;
        }
        return order;
    }

    std::string takeBytes() { return std::move(m_bytes); }
    std::vector<std::uint32_t> takeEnds() { return std::move(m_ends); }

private:
    static std::uint64_t word(const Head &head, int half)
    {
        std::uint64_t w;
        std::memcpy(&w, head.data() + 8 * half, 8);
        return w;
    }

    // Least significant pair of bytes first, one stable counting pass per
    // pair of head bytes in which the names differ.
    void radixSortByHeads(std::vector<std::uint32_t> &order) const
    {
        Head differ;
        std::memcpy(differ.data(), m_differ, sizeof m_differ);
        const auto digit = [](const Head &head, std::size_t at) { return unsigned(head[at]) << 8 | head[at + 1]; };
        std::vector<std::uint32_t> other(order.size()), count;
        for (std::size_t at = kHeadBytes - 2; at < kHeadBytes; at -= 2) {
            if (differ[at] == 0 && differ[at + 1] == 0)
                continue; // every name has the same bytes here
            count.assign(1 << 16, 0);
            for (const Head &head : m_heads)
                ++count[digit(head, at)];
            std::uint32_t next = 0;
            for (std::uint32_t &c : count)
                next += std::exchange(c, next);
            for (const std::uint32_t k : order)
                other[count[digit(m_heads[k], at)]++] = k;
            order.swap(other);
        }
    }

    bool ascii(std::uint32_t k) const { return m_heads[k].back() != kNotAscii; }

    std::string_view name(std::uint32_t k) const
    {
        const std::uint32_t start = k == 0 ? 0 : m_ends[k - 1];
        return std::string_view(m_bytes).substr(start, m_ends[k] - start);
    }

    bool less(std::uint32_t a, std::uint32_t b) const
    {
        const bool bothAscii = ascii(a) && ascii(b);
        if (bothAscii && m_heads[a] != m_heads[b])
            return m_heads[a] < m_heads[b];
        const int order = bothAscii ? foldedTailOrder(name(a), name(b)) : unicodeOrder(a, b);
        if (order != 0)
            return order < 0;
        return name(a) < name(b);
    }

    static int foldedTailOrder(std::string_view x, std::string_view y)
    {
        for (std::size_t i = kHeadBytes; i < x.size() && i < y.size(); ++i)
            if (ascii::toLower(x[i]) != ascii::toLower(y[i]))
                return ascii::toLower(x[i]) < ascii::toLower(y[i]) ? -1 : 1;
        return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
    }

    // Rare: at least one name has other characters. Ties are decided on the
    // shown text first, as Qt orders strings.
    int unicodeOrder(std::uint32_t a, std::uint32_t b) const
    {
        const QString x = text(a), y = text(b);
        if (const int order = x.compare(y, Qt::CaseInsensitive))
            return order;
        return x == y ? 0 : (x < y ? -1 : 1);
    }

    QString text(std::uint32_t k) const
    {
        if (ascii(k))
            return QString::fromLatin1(name(k).data(), qsizetype(name(k).size()));
        std::uint32_t place;
        std::memcpy(&place, m_heads[k].data(), sizeof place);
        return m_decoded[place];
    }

    std::string m_bytes;
    std::vector<std::uint32_t> m_ends;
    std::vector<Head> m_heads;
    Head m_first{};
    std::uint64_t m_differ[2] = {0, 0}; // the head bytes' differences from the first head

    std::vector<QString> m_decoded;
};

} // namespace

RomNames RomNames::readCurrentFolder()
{
    FolderList folder;
    platform::listCurrentFolder(folder);
    std::vector<std::uint32_t> order = folder.sortedOrder();
    return RomNames(folder.takeBytes(), folder.takeEnds(), std::move(order));
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
