#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtl/Exception.h"

namespace rtl {

class EIniFileException : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EIniFileException"; }
};

// An ini file held in memory with the profile rules the programs' files were
// written under: section and key names match ignoring case, values are taken
// raw (commas, backslashes and inner quotes stay as they are), blanks around a
// value go and so do quotes enclosing it whole, which is how a value written
// with blanks at its ends keeps them; CR LF and LF lines are both read, and
// sections, keys and comments this program does not know survive a save. The
// file is read whole when the object is made; writes change the memory copy
// only, until UpdateFile writes the file whole through a temporary file and a
// rename, so a crash never leaves half a file behind.
class TIniFile {
public:
    // Reads fileName when it exists; a missing or unreadable file starts empty.
    explicit TIniFile(std::string fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    // Permission bits for the file UpdateFile writes. A new file gets them
    // (less the umask); an existing file keeps its own bits, narrowed by these,
    // so a file holding passwords made with 0600 never becomes readable by others.
    mode_t FileMode() const { return fileMode_; }
    void SetFileMode(mode_t mode) { fileMode_ = mode & 07777; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Decimal, with an optional sign; "0x" or "$" introduces hexadecimal. Text
    // that is not a number (or an empty value) reads as def. 64-bit throughout,
    // so colour values above 2^31 and file positions read back whole.
    std::int64_t ReadInteger(std::string_view section, std::string_view key,
                             std::int64_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, std::int64_t value);

    // Stored as "1" and "0"; any non-zero number reads as true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Key names of a section in file order (empty for a missing section).
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Section names in file order.
    std::vector<std::string> ReadSections() const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);
    // Forgets every section, as a file deleted and made anew.
    void Clear();

    // Writes the whole file; raises EIniFileException when it cannot.
    void UpdateFile();

    // The file's text as UpdateFile would write it.
    std::string Text() const;

    // Numbers (from 1) of the lines read that are none of a [section], a
    // key=value within a section, a comment (";" or "#") or blank: signs of a
    // damaged file. A name holding control characters is no name: such a
    // key is not read, nor is a section under such a header. These lines
    // (and such sections) are kept for the save, as comments are, until
    // DropMalformedLines.
    const std::vector<int>& MalformedLines() const { return malformed_; }
    // Forgets them, so that a save writes only what was read whole, and the
    // next read of the file finds nothing damaged.
    void DropMalformedLines();

private:
    struct Entry {
        std::string key;   // empty for a comment or other line kept as it is
        std::string value; // the whole line for kept lines
        bool kept = false;
        bool malformed = false; // a kept line that is no comment either
    };
    struct Section {
        std::string name;
        bool damaged = false; // its name holds control characters: read by none, dropped with the damaged lines
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::size_t> index; // lower-case key -> entry
        void Reindex();
    };

    void Parse(std::string_view text);
    const Section* Find(std::string_view section) const;
    Section* Find(std::string_view section);
    Section& Obtain(std::string_view section);
    void ReindexSections();

    std::string fileName_;
    mode_t fileMode_ = 0666;
    bool crlf_ = false;
    std::vector<Entry> preamble_; // kept lines before the first section
    std::vector<int> malformed_;
    std::vector<std::unique_ptr<Section>> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;
};

} // namespace rtl
