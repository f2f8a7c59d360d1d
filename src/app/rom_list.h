#pragma once
// The file list's model: the ROM images of the current folder, read once.

#include <QStringListModel>

#include <memory>

class RomNameBlocks;

class RomList final : public QStringListModel {
public:
    explicit RomList(QObject *parent = nullptr);
    ~RomList() override;

    // Lists the regular files (and links to them) of the current folder whose
    // names end in ".bin" in any letter case, hidden files left out, sorted
    // alphabetically without regard to case.
    void fill();

private:
    std::unique_ptr<RomNameBlocks> m_blocks; // the text the list's strings refer to
};
