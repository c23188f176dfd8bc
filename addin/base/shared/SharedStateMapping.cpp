// The shared block of a logon session: a named file mapping in the session's Local\ namespace,
// its name carrying the block's layout version and the user's SID, its DACL admitting only the
// current user. The first process creates it; every process initialises it at most once
// (InitialiseSharedBlock). The mapping stays open for the life of the process, so the block
// lives as long as any process holds the library.
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "addin/base/shared/SharedState.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

// The current user's SID, from the process token; empty on failure.
std::vector<BYTE> CurrentUserSid() {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 4096) return {};
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(sid)) return {};
    const DWORD length = GetLengthSid(sid);
    std::vector<BYTE> copy(length);
    if (!CopySid(length, copy.data(), sid)) return {};
    return copy;
}

class MappedSharedState {
public:
    MappedSharedState() {
        std::vector<BYTE> sid = CurrentUserSid();
        if (sid.empty()) return;
        PSID psid = sid.data();

        UniqueLocal sidText;
        wchar_t* text = nullptr;
        if (!ConvertSidToStringSidW(psid, &text)) return;
        sidText.reset(text);
        const std::wstring name =
            L"Local\\KestrovaSE.SharedState.v" + std::to_wstring(kSharedBlockVersion) + L"." + text;

        // A DACL with one entry: the current user, full access to the mapping.
        const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(psid);
        std::vector<BYTE> aclBuffer(aclSize);
        ACL* acl = reinterpret_cast<ACL*>(aclBuffer.data());
        if (!InitializeAcl(acl, aclSize, ACL_REVISION)) return;
        if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_MAP_ALL_ACCESS, psid)) return;
        SECURITY_DESCRIPTOR descriptor;
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return;
        if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) return;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};

        // Create-or-open in one call: there is no window in which two processes both create.
        mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, sizeof(SharedBlock),
                                          name.c_str()));
        if (!mapping_) return;
        view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedBlock)));
        if (!view_) return;
        auto* block = static_cast<SharedBlock*>(view_.get());
        InitialiseSharedBlock(block);
        state_.reset(new SharedBlockState(block));
    }

    SharedState* state() { return state_.get(); }

private:
    UniqueKernelHandle mapping_;
    UniqueView view_;
    std::unique_ptr<SharedBlockState> state_;
};

}  // namespace

SharedState& SystemSharedState() {
    static MappedSharedState mapped;
    if (SharedState* state = mapped.state()) return *state;
    // Without the mapping the panes of this process still share one block among themselves.
    static MemorySharedState local;
    return local;
}

}  // namespace kv
