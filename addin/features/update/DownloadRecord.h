// Which files of the templates folder are exactly as the pane downloaded them. The last host's
// clean-up deletes only those, never a document the user changed or put there.
//
// FileDownloadRecord keeps the record as a text file in the templates folder itself,
// "kestrova_downloads.txt", one line per downloaded file:
//   <SHA-256 of the content, 64 lower-case hex> <size in bytes> <file name in UTF-8>\n
// The template download calls Remember right after it wrote a file; a later download of the
// same name replaces its line. Lines that do not parse are ignored (the file is then kept).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class UpdateFileSystem;

class DownloadRecord {
public:
    virtual ~DownloadRecord() = default;
    // True only when the record knows name and the file now holds exactly what was downloaded.
    virtual bool IsUnchanged(const std::wstring& name) = 0;
    // The file is gone: its line goes too.
    virtual void Forget(const std::wstring& name) = 0;
};

constexpr wchar_t kDownloadRecordName[] = L"kestrova_downloads.txt";

class FileDownloadRecord final : public DownloadRecord {
public:
    // folder ends in a separator, as the templates folder does.
    FileDownloadRecord(UpdateFileSystem& files, std::wstring folder);

    // Records name as downloaded with content and saves the record.
    bool Remember(const std::wstring& name, const std::string& content);
    bool IsUnchanged(const std::wstring& name) override;
    void Forget(const std::wstring& name) override;
    // Writes the record (or deletes it when empty); false when it could not be written.
    bool Save();

private:
    struct Entry {
        std::string name;  // UTF-8
        uint64_t size;
        std::string hash;
    };
    void Load();
    Entry* Find(const std::string& name);

    UpdateFileSystem& files_;
    std::wstring folder_;
    std::vector<Entry> entries_;
};

// UTF-8 of a file name (UTF-16 on Windows, UTF-32 elsewhere); unpaired surrogates become U+FFFD.
std::string FileNameUtf8(const std::wstring& name);

}  // namespace kv
