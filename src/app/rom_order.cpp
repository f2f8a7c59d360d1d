#include "app/rom_order.h"

#include "base/ascii.h"
#include "platform/files.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

// Most ROM names are ASCII: for them the first sixteen folded bytes decide
// nearly every comparison; only a pair with another character goes through
// Qt's Unicode folding. A large folder of ASCII names is sorted by a radix
// sort on those bytes; a small one, where the radix sort's buckets would cost
// more than they save, by comparisons alone.

namespace {

// A name with other characters than ASCII: the head's last byte, never a
// folded ASCII byte, marks it, and its first four hold its place in the
// decoded names.
constexpr unsigned char kNotAscii = 0xFF;

// Below this many names comparisons alone are quicker than clearing the
// radix sort's 65,536 buckets for each pass.
constexpr std::size_t kRadixSortFrom = 512;

QString decoded(std::string_view name)
{
    return platform::nameText(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

} // namespace

class RomOrder::Sorter {
public:
    Sorter(const RomOrder &order, std::string_view bytes, const std::vector<std::uint32_t> &ends)
        : m_order(order), m_bytes(bytes), m_ends(ends)
    {
    }

    std::vector<std::uint32_t> sorted() const
    {
        std::vector<std::uint32_t> order(m_ends.size());
        std::iota(order.begin(), order.end(), 0);
        const auto less = [this](std::uint32_t a, std::uint32_t b) { return this->less(a, b); };
        if (!m_order.m_decoded.empty() || order.size() < kRadixSortFrom) {
            std::sort(order.begin(), order.end(), less);
            return order;
        }
        // All ASCII: a radix sort on the sixteen head bytes, then the few
        // runs of equal heads by the full comparison.
        radixSortByHeads(order);
        const auto &heads = m_order.m_heads;
        for (auto run = order.begin(); run != order.end();) {
            const Head &head = heads[*run];
            const auto end = std::find_if(run + 1, order.end(), [&](std::uint32_t k) { return heads[k] != head; });
            if (end - run > 1)
                std::sort(run, end, less);
            run = end;
        }
        return order;
    }

private:
    // Least significant pair of bytes first, one stable counting pass per
    // pair of head bytes in which the names differ.
    void radixSortByHeads(std::vector<std::uint32_t> &order) const
    {
        Head differ;
        std::memcpy(differ.data(), m_order.m_differ, sizeof m_order.m_differ);
        const auto &heads = m_order.m_heads;
        const auto digit = [](const Head &head, std::size_t at) { return unsigned(head[at]) << 8 | head[at + 1]; };
        std::vector<std::uint32_t> other(order.size()), count;
        for (std::size_t at = kHeadBytes - 2; at < kHeadBytes; at -= 2) {
            if (differ[at] == 0 && differ[at + 1] == 0)
                continue; // every name has the same bytes here
            count.assign(1 << 16, 0);
            for (const Head &head : heads)
                ++count[digit(head, at)];
            std::uint32_t next = 0;
            for (std::uint32_t &c : count)
                next += std::exchange(c, next);
            for (const std::uint32_t k : order)
                other[count[digit(heads[k], at)]++] = k;
            order.swap(other);
        }
    }

    bool ascii(std::uint32_t k) const { return m_order.m_heads[k].back() != kNotAscii; }

    std::string_view name(std::uint32_t k) const
    {
        const std::uint32_t start = k == 0 ? 0 : m_ends[k - 1];
        return m_bytes.substr(start, m_ends[k] - start);
    }

    bool less(std::uint32_t a, std::uint32_t b) const
    {
        const auto &heads = m_order.m_heads;
        const bool bothAscii = ascii(a) && ascii(b);
        if (bothAscii && heads[a] != heads[b])
            return heads[a] < heads[b];
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
        std::memcpy(&place, m_order.m_heads[k].data(), sizeof place);
        return m_order.m_decoded[place];
    }

    const RomOrder &m_order;
    const std::string_view m_bytes;
    const std::vector<std::uint32_t> &m_ends;
};

void RomOrder::reserve(std::size_t names)
{
    m_heads.reserve(names);
}

// The first sixteen bytes of a name (zero padded), ASCII letters folded to
// lower case eight at a time: for ASCII names, comparing two heads bytewise
// compares the folded names' beginnings. Names with other characters get a
// marked head of their own.
void RomOrder::add(std::string_view name)
{
    Head head{};
    std::memcpy(head.data(), name.data(), std::min<std::size_t>(kHeadBytes, name.size()));
    constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    std::uint64_t high = 0, words[2];
    for (int half = 0; half < 2; ++half) {
        std::uint64_t word;
        std::memcpy(&word, head.data() + 8 * half, 8);
        high |= word & kHigh;
        const std::uint64_t low7 = word & ~kHigh;
        const std::uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
        const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
        word |= (atLeastA & ~aboveZ & ~word & kHigh) >> 2; // 'A' + 0x20 == 'a'
        std::memcpy(head.data() + 8 * half, &word, 8);
        words[half] = word;
    }
    const auto beyond = name.size() > kHeadBytes ? name.substr(kHeadBytes) : std::string_view();
    if (high == 0 && std::all_of(beyond.begin(), beyond.end(), [](char c) { return (c & 0x80) == 0; })) {
        if (m_heads.empty())
            m_first = head;
        for (int half = 0; half < 2; ++half) {
            std::uint64_t first;
            std::memcpy(&first, m_first.data() + 8 * half, 8);
            m_differ[half] |= words[half] ^ first;
        }
        m_heads.push_back(head);
        return;
    }
    head = Head{};
    const auto place = std::uint32_t(m_decoded.size());
    std::memcpy(head.data(), &place, sizeof place);
    head.back() = kNotAscii;
    m_heads.push_back(head);
    m_decoded.push_back(decoded(name));
}

std::vector<std::uint32_t> RomOrder::sorted(std::string_view bytes, const std::vector<std::uint32_t> &ends) const
{
    return Sorter(*this, bytes, ends).sorted();
}
