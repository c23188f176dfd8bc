// Whether a file is a library the 64-bit hosts can load as this add-in: a PE32+ image for x64
// with the DLL flag that exports DllGetClassObject. Reads only the headers, the section table
// and the export directory, every offset checked against the file, so a hostile or cut-off
// file gets an answer, never a read outside it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kv {

enum class PeVerdict {
    Accepted,
    NotPe,          // no MZ header, no PE signature, headers cut off
    WrongMachine,   // not x64
    NotPe32Plus,    // optional header magic is not 0x20B
    NotDll,         // not an executable image with the DLL flag
    BadSections,    // a section or the symbol table lies outside the file (a truncated file)
    NoExports,      // no export directory, or it lies outside the file
    NoClassObject,  // the exports do not name DllGetClassObject
};

PeVerdict CheckPeLibrary(const uint8_t* data, size_t size);
const char* PeVerdictName(PeVerdict verdict);

// What an Authenticode signature leaves out of what it signs, in a PE file of either width:
// the CheckSum field, the certificate-table entry of the data directories (both rewritten by
// signing) and the certificate table, which signing appends at the end of the file.
struct AuthenticodeParts {
    uint64_t checksumAt = 0;   // 4 bytes
    uint64_t directoryAt = 0;  // 8 bytes: the table's file offset and size
    uint64_t tableAt = 0;      // the certificate table when it is the end of the file; else the
    uint64_t tableSize = 0;    // file's size and 0
};
// False for a file that is not a PE image or whose headers are cut off.
bool FindAuthenticodeParts(const uint8_t* data, size_t size, AuthenticodeParts* parts);

}  // namespace kv
