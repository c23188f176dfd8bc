// The add-in's narrow text is code page 949: the test environment must give Korean as the
// ANSI code page, or every text test after this one proves nothing.
#include <windows.h>
#include <cstdio>

int main() {
    UINT acp = GetACP();
    // "서식" in UTF-16 must come out as its two-byte-per-syllable 949 encoding.
    const wchar_t wide[] = {0xC11C, 0xC2DD, 0};
    char narrow[16] = {};
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    const unsigned char expected[] = {0xBC, 0xAD, 0xBD, 0xC4, 0};
    bool bytesOk = n == 5 && memcmp(narrow, expected, 5) == 0;
    std::printf("ACP=%u bytes=%s\n", acp, bytesOk ? "ok" : "wrong");
    return acp == 949 && bytesOk ? 0 : 1;
}
