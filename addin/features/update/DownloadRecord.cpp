#include "addin/features/update/DownloadRecord.h"

#include <algorithm>

#include "addin/features/update/Sha256.h"
#include "addin/features/update/UpdateFiles.h"

namespace kv {
namespace {

constexpr size_t kRecordLimit = 4 << 20;
// A template larger than this is not read back at the unload: it is kept.
constexpr size_t kTemplateLimit = 256u << 20;

void AppendUtf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | c >> 6);
        *out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += char(0xE0 | c >> 12);
        *out += char(0x80 | (c >> 6 & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xF0 | c >> 18);
        *out += char(0x80 | (c >> 12 & 0x3F));
        *out += char(0x80 | (c >> 6 & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

bool ParseLine(const std::string& line, std::string* hash, uint64_t* size, std::string* name) {
    if (line.size() < 64 + 3 || line[64] != ' ') return false;
    *hash = line.substr(0, 64);
    if (!std::all_of(hash->begin(), hash->end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
        return false;
    }
    size_t i = 65;
    uint64_t value = 0;
    const size_t digitsStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - digitsStart < 19) {
        value = value * 10 + uint64_t(line[i] - '0');
        ++i;
    }
    if (i == digitsStart || i >= line.size() || line[i] != ' ' || i + 1 == line.size()) return false;
    *size = value;
    *name = line.substr(i + 1);
    return true;
}

}  // namespace

std::string FileNameUtf8(const std::wstring& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(name[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() &&
            static_cast<uint32_t>(name[i + 1]) >= 0xDC00 && static_cast<uint32_t>(name[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(name[++i]) - 0xDC00);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(c, &out);
    }
    return out;
}

FileDownloadRecord::FileDownloadRecord(UpdateFileSystem& files, std::wstring folder)
    : files_(files), folder_(std::move(folder)) {
    Load();
}

void FileDownloadRecord::Load() {
    std::string text;
    if (!files_.Read(folder_ + kDownloadRecordName, kRecordLimit, &text)) return;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a last line without its end was cut off
        Entry e;
        if (ParseLine(text.substr(start, end - start), &e.hash, &e.size, &e.name)) {
            if (Entry* known = Find(e.name)) {
                *known = e;
            } else {
                entries_.push_back(e);
            }
        }
        start = end + 1;
    }
}

FileDownloadRecord::Entry* FileDownloadRecord::Find(const std::string& name) {
    for (Entry& e : entries_) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

bool FileDownloadRecord::Remember(const std::wstring& name, const std::string& content) {
    const std::string key = FileNameUtf8(name);
    if (key.empty() || key.find('\n') != std::string::npos) return false;
    Entry e{key, content.size(), Sha256Hex(content)};
    if (Entry* known = Find(key)) {
        *known = e;
    } else {
        entries_.push_back(e);
    }
    return Save();
}

bool FileDownloadRecord::IsUnchanged(const std::wstring& name) {
    const Entry* e = Find(FileNameUtf8(name));
    if (!e) return false;
    std::string content;
    if (!files_.Read(folder_ + name, kTemplateLimit, &content)) return false;
    return content.size() == e->size && Sha256Hex(content) == e->hash;
}

void FileDownloadRecord::Forget(const std::wstring& name) {
    const std::string key = FileNameUtf8(name);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == key; }),
                   entries_.end());
}

bool FileDownloadRecord::Save() {
    const std::wstring path = folder_ + kDownloadRecordName;
    if (entries_.empty()) return files_.Delete(path) || !files_.Exists(path);
    std::string text;
    for (const Entry& e : entries_) text += e.hash + " " + std::to_string(e.size) + " " + e.name + "\n";
    // Written beside and then put in place, so a failed write leaves the old record whole.
    const std::wstring temporary = files_.CreateTemporary(folder_);
    if (temporary.empty()) return false;
    if (!files_.Write(temporary, text)) {
        files_.Delete(temporary);
        return false;
    }
    files_.Delete(path);
    if (!files_.Rename(temporary, path)) {
        files_.Delete(temporary);
        return false;
    }
    return true;
}

}  // namespace kv
