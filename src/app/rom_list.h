#pragma once
// The file list's model: the ROM images of the current folder, read once.

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The names of the ROM images of the current folder, sorted alphabetically
// without regard to case, each kept as the file system spells it: a name that
// is not valid UTF-8 is still opened and passed on by its very bytes.
class RomNames {
public:
    // The regular files (and links to them) of the current folder whose names
    // end in ".bin" in any letter case, hidden files left out.
    static RomNames readCurrentFolder();

    // The same, read on a thread of its own while the caller goes on.
    static std::future<RomNames> readCurrentFolderAsync();

    // Why the folder could not be listed, or not to its end.
    struct Problem {
        bool denied;         // for want of permission
        QString description; // names the folder and the reason
    };
    const std::optional<Problem> &problem() const { return m_problem; }

    qsizetype size() const { return qsizetype(m_order.size()); }
    std::string_view at(qsizetype row) const
    {
        const std::uint32_t name = m_order[std::size_t(row)];
        const std::uint32_t start = name == 0 ? 0 : m_ends[name - 1];
        return std::string_view(m_bytes).substr(start, m_ends[name] - start);
    }

private:
    RomNames() = default;
    RomNames(std::string bytes, std::vector<std::uint32_t> ends, std::vector<std::uint32_t> order)
        : m_bytes(std::move(bytes)), m_ends(std::move(ends)), m_order(std::move(order))
    {
    }

    std::string m_bytes;                 // every name, back to back, in the order the folder gave them
    std::vector<std::uint32_t> m_ends;   // where each of them ends in m_bytes
    std::vector<std::uint32_t> m_order;  // list order: the places of the names in m_ends
    std::optional<Problem> m_problem;
};

class RomList final : public QAbstractListModel {
public:
    explicit RomList(RomNames names, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The exact bytes of the name in `row`.
    QByteArray fileName(int row) const;

private:
    const RomNames m_names;
};
