#include "addin/base/shared/TextCut.h"

#include <cstring>

namespace kv {

std::string CutCp949(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    // Characters are found from the start: a trail byte may look like a lead byte, so the
    // boundary cannot be found by looking backwards from the limit.
    size_t end = 0;
    while (end < text.size()) {
        const size_t width = (IsCp949LeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size()) ? 2 : 1;
        if (end + width > limit) break;
        end += width;
    }
    return text.substr(0, end);
}

std::string CutCp949(const char* text, size_t bufferSize, size_t limit) {
    if (!text || bufferSize == 0) return std::string();
    // strnlen never reads past the terminator of a shorter text.
    return CutCp949(std::string(text, strnlen(text, bufferSize)), limit);
}

void CopyCp949(const std::string& text, char* buffer, size_t bufferSize) {
    if (!buffer || bufferSize == 0) return;
    // Up to the first zero: what follows it was never part of the text.
    const std::string cut = CutCp949(text.substr(0, std::strlen(text.c_str())), bufferSize - 1);
    std::memcpy(buffer, cut.data(), cut.size());
    buffer[cut.size()] = '\0';
}

}  // namespace kv
