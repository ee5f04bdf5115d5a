#pragma once
// Where an archive of format 1 is damaged between its entries: bytes that are no header, which
// the reader skipped. Each stretch is placed between the entries around it, so that a message
// can say where something may be missing.
#include <string>

namespace tavik {

class TDamageBetweenEntries {
public:
    // The reader skipped bytes after the entry seen last (before the first when there was none).
    void Skipped(const std::string& libraryText);
    // The reader found the next entry; a stretch still open ends before it.
    void EntrySeen(const std::string& name);

    bool Found() const { return FCount > 0; }
    // German, to follow "Das Archiv ist beschädigt: ": where the first stretch lies, in the
    // library's words, and how many more there are.
    std::string Where() const;

private:
    int FCount = 0;
    bool FFirstOpen = false;
    std::string FFirstAfter;
    std::string FFirstBefore;
    std::string FFirstText;
    std::string FLastEntry;
};

}  // namespace tavik
