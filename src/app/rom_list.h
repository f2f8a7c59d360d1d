#pragma once
// The file list's model: the ROM images of the current folder, read once.

#include <QAbstractListModel>
#include <QByteArray>

#include <cstdint>
#include <future>
#include <string>
#include <string_view>
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

    qsizetype size() const { return qsizetype(m_rows.size()); }
    std::string_view at(qsizetype row) const
    {
        const Row &r = m_rows[std::size_t(row)];
        return std::string_view(m_bytes).substr(r.offset, r.length);
    }

private:
    struct Row {
        std::uint32_t offset, length;
    };
    std::string m_bytes;    // every name, in the order the folder gave them
    std::vector<Row> m_rows; // in list order
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
