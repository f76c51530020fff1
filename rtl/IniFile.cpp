#include "rtl/IniFile.h"

#include <charconv>
#include <climits>
#include <fstream>
#include <sstream>

#include "rtl/FileUtils.h"
#include "rtl/Format.h"
#include "rtl/StrUtils.h"

namespace rtl {

namespace {

// Line breaks inside a name or value would split it into two lines of the file.
std::string OneLine(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool IsQuoted(std::string_view s)
{
    return s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front();
}

// Blanks at the ends of a line are not part of the value, and a value in
// matching quotes is read without them; such values are written quoted, so
// that they come back as they went in.
std::string QuoteValue(std::string value)
{
    if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value)))
        return '"' + value + '"';
    return value;
}

std::string_view UnquoteValue(std::string_view raw)
{
    return IsQuoted(raw) ? raw.substr(1, raw.size() - 2) : raw;
}

std::optional<std::int64_t> ParseIniInteger(std::string_view text)
{
    std::string t = Trim(text);
    std::string_view v = t;
    bool negative = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    int base = 10;
    if (v.size() > 1 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        base = 16;
        v.remove_prefix(2);
    } else if (!v.empty() && v[0] == '$') {
        base = 16;
        v.remove_prefix(1);
    }
    if (v.empty() || v[0] == '-' || v[0] == '+') return std::nullopt;
    std::uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), magnitude, base);
    if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
    if (negative) {
        if (magnitude > std::uint64_t(INT64_MAX) + 1) return std::nullopt;
        return std::int64_t(0 - magnitude);
    }
    if (magnitude > std::uint64_t(INT64_MAX)) return std::nullopt;
    return std::int64_t(magnitude);
}

// Control characters never belong in a name: a line holding them in its
// name is a damaged one.
bool HasControl(std::string_view s)
{
    for (char c : s)
        if ((static_cast<unsigned char>(c) < ' ' && c != '\t') || c == '\x7f') return true;
    return false;
}

} // namespace

void TIniFile::Section::Reindex()
{
    index.clear();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].kept) index.emplace(LowerCase(entries[i].key), i);
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName))
{
    std::ifstream in(fileName_, std::ios::binary);
    if (!in) return;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    Parse(buffer.str());
}

TIniFile::~TIniFile() = default;

void TIniFile::Parse(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Section* current = nullptr;
    bool firstLine = true;
    int number = 0;
    while (!text.empty()) {
        ++number;
        auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            if (firstLine) crlf_ = true;
        }
        firstLine = false;
        std::string trimmed = Trim(line);
        if (trimmed.empty()) continue;
        if (trimmed[0] == '[') {
            auto close = trimmed.find(']');
            // Cut or overwritten: the section is still made, and the line told.
            if (close != trimmed.size() - 1 || HasControl(trimmed)) malformed_.push_back(number);
            std::string name = Trim(std::string_view(trimmed).substr(1, close == std::string::npos ? std::string::npos : close - 1));
            // A repeated section is kept for the save but shadowed by the first.
            sections_.push_back(std::make_unique<Section>());
            current = sections_.back().get();
            current->name = name;
            // A name holding control characters is no name: no reader finds
            // the section, and a save after DropMalformedLines leaves it out,
            // or it would be told again at every start.
            current->damaged = HasControl(name);
            if (!current->damaged) sectionIndex_.emplace(LowerCase(name), sections_.size() - 1);
            continue;
        }
        Entry entry;
        auto eq = trimmed.find('=');
        if (trimmed[0] == ';' || trimmed[0] == '#') {
            entry.kept = true;
            entry.value = trimmed;
        } else if (eq == std::string::npos || eq == 0) {
            entry.kept = entry.malformed = true;
            entry.value = trimmed;
        } else {
            entry.key = TrimRight(std::string_view(trimmed).substr(0, eq));
            entry.value = TrimLeft(std::string_view(trimmed).substr(eq + 1));
            if (entry.key.empty() || HasControl(entry.key)) {
                entry.key.clear();
                entry.kept = entry.malformed = true;
                entry.value = trimmed;
            }
        }
        // A key before any section belongs to none: no reader sees it.
        if (!current && !entry.key.empty()) entry.kept = entry.malformed = true;
        if (entry.malformed) malformed_.push_back(number);
        if (!current) {
            entry.value = trimmed; // kept as it stands
            preamble_.push_back(std::move(entry));
            continue;
        }
        current->entries.push_back(std::move(entry));
        if (!current->entries.back().kept)
            current->index.emplace(LowerCase(current->entries.back().key), current->entries.size() - 1);
    }
}

const TIniFile::Section* TIniFile::Find(std::string_view section) const
{
    auto it = sectionIndex_.find(LowerCase(section));
    return it == sectionIndex_.end() ? nullptr : sections_[it->second].get();
}

TIniFile::Section* TIniFile::Find(std::string_view section)
{
    return const_cast<Section*>(static_cast<const TIniFile*>(this)->Find(section));
}

TIniFile::Section& TIniFile::Obtain(std::string_view section)
{
    if (Section* s = Find(section)) return *s;
    sections_.push_back(std::make_unique<Section>());
    sections_.back()->name = Trim(OneLine(section));
    sectionIndex_.emplace(LowerCase(sections_.back()->name), sections_.size() - 1);
    return *sections_.back();
}

void TIniFile::ReindexSections()
{
    sectionIndex_.clear();
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (!sections_[i]->damaged) sectionIndex_.emplace(LowerCase(sections_[i]->name), i);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const
{
    const Section* s = Find(section);
    if (!s) return std::string(def);
    auto it = s->index.find(LowerCase(key));
    if (it == s->index.end()) return std::string(def);
    return std::string(UnquoteValue(s->entries[it->second].value));
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    Section& s = Obtain(section);
    std::string name = Trim(OneLine(key));
    std::string lower = LowerCase(name);
    auto it = s.index.find(lower);
    if (it != s.index.end()) {
        s.entries[it->second].value = QuoteValue(OneLine(value));
        return;
    }
    Entry entry;
    entry.key = std::move(name);
    entry.value = QuoteValue(OneLine(value));
    s.entries.push_back(std::move(entry));
    s.index.emplace(std::move(lower), s.entries.size() - 1);
}

std::int64_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int64_t def) const
{
    const Section* s = Find(section);
    if (!s) return def;
    auto it = s->index.find(LowerCase(key));
    if (it == s->index.end()) return def;
    auto v = ParseIniInteger(UnquoteValue(s->entries[it->second].value));
    return v ? *v : def;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value)
{
    WriteString(section, key, IntToStr(value));
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    const Section* s = Find(section);
    if (!s) return keys;
    for (std::size_t i = 0; i < s->entries.size(); ++i) {
        const Entry& e = s->entries[i];
        if (e.kept) continue;
        auto it = s->index.find(LowerCase(e.key));
        if (it != s->index.end() && it->second == i) keys.push_back(e.key);
    }
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        auto it = sectionIndex_.find(LowerCase(sections_[i]->name));
        if (it != sectionIndex_.end() && it->second == i) names.push_back(sections_[i]->name);
    }
    return names;
}

bool TIniFile::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    const Section* s = Find(section);
    return s && s->index.count(LowerCase(key)) != 0;
}

void TIniFile::EraseSection(std::string_view section)
{
    if (!Find(section)) return;
    std::erase_if(sections_, [&](const std::unique_ptr<Section>& s) { return SameText(s->name, section); });
    ReindexSections();
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key)
{
    Section* s = Find(section);
    if (!s) return;
    auto it = s->index.find(LowerCase(key));
    if (it == s->index.end()) return;
    s->entries.erase(s->entries.begin() + std::ptrdiff_t(it->second));
    s->Reindex();
}

void TIniFile::DropMalformedLines()
{
    const auto bad = [](const Entry& e) { return e.malformed; };
    std::erase_if(preamble_, bad);
    std::erase_if(sections_, [](const std::unique_ptr<Section>& s) { return s->damaged; });
    for (auto& s : sections_) {
        std::erase_if(s->entries, bad);
        s->Reindex();
    }
    ReindexSections();
    malformed_.clear();
}

void TIniFile::Clear()
{
    preamble_.clear();
    malformed_.clear();
    sections_.clear();
    sectionIndex_.clear();
}

std::string TIniFile::Text() const
{
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string out;
    for (const auto& line : preamble_) out.append(line.value).append(eol);
    if (!preamble_.empty() && !sections_.empty()) out.append(eol);
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        if (i > 0) out.append(eol);
        const Section& s = *sections_[i];
        out.append("[").append(s.name).append("]").append(eol);
        for (const Entry& e : s.entries) {
            if (e.kept) out.append(e.value);
            else out.append(e.key).append("=").append(e.value);
            out.append(eol);
        }
    }
    return out;
}

void TIniFile::UpdateFile()
{
    try {
        WriteFileAtomic(fileName_, Text(), fileMode_);
    } catch (const EFileWriteError& e) {
        throw EIniFileException(e.Message());
    }
}

} // namespace rtl
