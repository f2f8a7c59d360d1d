#include "app/rom_list.h"

#include "app/rom_order.h"
#include "base/ascii.h"
#include "platform/files.h"
#include "platform/folder.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

namespace {

// "*.bin" in any letter case.
bool isRomFileName(std::string_view name)
{
    return name.size() >= 4 && ascii::equalIgnoringCase(name.substr(name.size() - 4), std::string_view(".bin"));
}

QString decoded(std::string_view name)
{
    return platform::nameText(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

// The folder's names as they are read: their bytes back to back, where each
// ends, and each one's sort key.
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
        m_order.reserve(bytes / 8);
    }

    bool take(std::string_view name) override
    {
        if (m_bytes.size() + name.size() > UINT32_MAX) {
            m_full = true;
            return false;
        }
        m_bytes.append(name);
        m_ends.push_back(std::uint32_t(m_bytes.size()));
        m_order.add(name);
        return true;
    }

    bool full() const { return m_full; }
    std::vector<std::uint32_t> sortedOrder() const { return m_order.sorted(m_bytes, m_ends); }
    std::string takeBytes() { return std::move(m_bytes); }
    std::vector<std::uint32_t> takeEnds() { return std::move(m_ends); }

private:
    std::string m_bytes;
    std::vector<std::uint32_t> m_ends;
    RomOrder m_order;
    bool m_full = false;
};

} // namespace

RomNames RomNames::readCurrentFolder()
{
    FolderList folder;
    const std::optional<platform::ListingFailure> failure = platform::listCurrentFolder(folder);
    std::vector<std::uint32_t> order = folder.sortedOrder();
    RomNames names(folder.takeBytes(), folder.takeEnds(), std::move(order));
    const QString here = platform::shownPath(".");
    if (failure && !failure->opened) {
        names.m_problem = Problem{failure->denied, QStringLiteral("Cannot list the ROM files of the folder %1: %2")
                                                      .arg(here, failure->reason)};
    } else if (failure || folder.full()) {
        const QString reason = failure ? failure->reason : QStringLiteral("its names are too many to list");
        names.m_problem = Problem{failure && failure->denied,
                                  QStringLiteral("Cannot list all the ROM files of the folder %1: %2. The list "
                                                 "shows the %3 found before that.")
                                      .arg(here, reason)
                                      .arg(names.size())};
    }
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
