// Code page 949 conversions through iconv (glibc's CP949 is the unified Hangul code, as on Windows).
#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/CodePage.h"

namespace kv {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Run(const std::string& in, std::string* out) {
        out->clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        // Four output bytes per input byte cover both directions (at most 3 UTF-8 bytes for a
        // two-byte character, 2 code-page bytes for a 3-byte UTF-8 character).
        std::vector<char> buffer(in.size() * 4 + 4);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) ||
            iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        out->assign(buffer.data(), static_cast<size_t>(dst - buffer.data()));
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

bool Utf8ToCp949(const std::string& utf8, std::string* out) {
    Converter c("CP949", "UTF-8");
    return c.Run(utf8, out);
}

bool Cp949ToUtf8(const std::string& cp949, std::string* out) {
    Converter c("UTF-8", "CP949");
    return c.Run(cp949, out);
}

}  // namespace kv
