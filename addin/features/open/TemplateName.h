// File names and paths of downloaded templates. A template's name comes from the service's
// list, so it is made into a plain file name that always lands inside the templates folder,
// and every path is bounded by the 260-byte path buffer the add-in uses.
#pragma once
#include <cstddef>
#include <string>

namespace kv {

constexpr size_t kPathBuffer = 260;  // bytes, the terminating zero included
constexpr char kTemplatesFolderName[] = "kestrovas";
// Used when nothing of the given name is left.
constexpr char kFallbackTemplateName[] = "template";

// The entry's fileName as a plain file name of the templates folder (narrow, code page 949):
// "\ / : * ? < > |" and the double quote become "_", so do control bytes and trailing dots and
// spaces (which the file system would drop); an empty name becomes the fallback name; a
// reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension) and the name
// of the download record get a leading "_".
std::string CleanTemplateName(const std::string& fileName);

// The n-th name tried for a download when the plain one is taken by a file the user changed:
// "견적서.xls" gives "견적서 (2).xls" for n = 2; n = 1 is the name itself.
std::string NumberedName(const std::string& name, int n);

// documents + "\kestrovas"; false when documents is empty or the result does not fit a path
// buffer with room for a file name.
bool TemplatesFolderPath(const std::string& documents, std::string* folder);
// folder + "\" + name; false when it does not fit the 260-byte buffer.
bool TemplatePath(const std::string& folder, const std::string& name, std::string* path);

}  // namespace kv
