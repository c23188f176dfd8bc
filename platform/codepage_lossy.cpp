// The lossy reading shared by both platforms: one character at a time, so a bad byte costs
// only itself.
#include "platform/CodePage.h"

namespace kv {

std::string Cp949ToUtf8Lossy(const std::string& cp949) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string result;
    std::string piece;
    size_t i = 0;
    while (i < cp949.size()) {
        unsigned char c = static_cast<unsigned char>(cp949[i]);
        if (c < 0x80) {
            result += static_cast<char>(c);
            ++i;
            continue;
        }
        if (i + 1 < cp949.size() && Cp949ToUtf8(cp949.substr(i, 2), &piece) && !piece.empty()) {
            result += piece;
            i += 2;
            continue;
        }
        result += kReplacement;
        ++i;
    }
    return result;
}

}  // namespace kv
