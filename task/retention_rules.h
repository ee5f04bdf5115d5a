#pragma once
// The retention periods of ARCHIV: ARCHIV/.vendrask/aufbewahrung.conf, a text file the
// administrator edits. Each line names a GLOB pattern over the entry names of the archives (the
// syntax of the object table's rules; a pattern with blanks in double quotes), a number of years
// and a free description; '#' starts a comment. The first line whose pattern matches an entry
// decides for it. An entry is kept until 31 December of the year in which it was last modified
// plus its years; 0 years: no period.
#include <string>
#include <vector>

namespace tavik {
class TArchiveJournal;
}

namespace vendrask {

struct TRetentionClass {
    std::string Pattern;
    int Years = 0;
    std::string Description;
    int Line = 0;  // in the file, from 1; 0: no line matched, the longest period the law asks
};

class TRetentionRules {
public:
    // The longest period the law asks for records (books, annual accounts, bookings).
    static constexpr int kLongestYears = 10;
    static constexpr int kMaxYears = 100;

    // ARCHIV/.vendrask/aufbewahrung.conf
    static std::string PathIn(const std::string& archivDir);
    // What vendrask writes there on first use: everything 10 years, with the lines explained.
    static const std::string& DefaultText();
    // Throws EOlvex naming the line of source that cannot be read, and how it should look.
    // defaulted: the text is the default, standing in for a file that does not exist.
    static TRetentionRules Parse(const std::string& text, const std::string& source, bool defaulted = false);

    // The first class whose pattern matches the entry name; without one, kLongestYears.
    const TRetentionClass& ClassOf(const std::string& entryName) const;
    const std::vector<TRetentionClass>& Classes() const { return FClasses; }
    // The lines with 0 years: what they match is kept by no period.
    std::vector<TRetentionClass> SwitchedOff() const;
    const std::string& Text() const { return FText; }
    // hex SHA-256 of the text, as the journal records it
    const std::string& Sha256() const { return FSha256; }
    // The file did not exist: the rules are the default's, not (yet) written.
    bool Defaulted() const { return FDefaulted; }

private:
    std::vector<TRetentionClass> FClasses;
    TRetentionClass FFallback;
    std::string FText;
    std::string FSha256;
    bool FDefaulted = false;
};

// Reads ARCHIV's file; where there is none, the default (nothing is written). Throws EOlvex
// when the file cannot be read or a line is wrong.
TRetentionRules ReadRetentionRules(const std::string& archivDir);

// For whoever deletes in ARCHIV and so writes its journal: writes the default file where there
// is none, and records the file's text and SHA-256 in the journal when it differs from the last
// record of it. Throws EOlvex.
TRetentionRules TakeRetentionRules(const std::string& archivDir, tavik::TArchiveJournal& journal);

}  // namespace vendrask
