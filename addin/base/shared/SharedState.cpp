#include "addin/base/shared/SharedState.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace kv {
namespace {

// Field reads and writes go through the compiler's atomic built-ins (GCC and Clang, for every
// target): on x86 they are the interlocked instructions, and they work on memory that other
// processes map too.
int32_t Load(const int32_t* p) {
    return __atomic_load_n(p, __ATOMIC_SEQ_CST);
}
void Store(int32_t* p, int32_t v) {
    __atomic_store_n(p, v, __ATOMIC_SEQ_CST);
}

void InitialiseFields(SharedBlock* block) {
    Store(&block->hostProcessCount, 0);
    Store(&block->updateState, 0);
    __atomic_store_n(&block->nextOpenIsUserDocument, 1, __ATOMIC_SEQ_CST);
    std::memset(block->clickedName, 0, sizeof block->clickedName);
    std::memset(block->lastKeyword, 0, sizeof block->lastKeyword);
}

}  // namespace

bool InitialiseSharedBlock(SharedBlock* block) {
    int32_t expected = 0;
    if (__atomic_compare_exchange_n(&block->ready, &expected, 1, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
        InitialiseFields(block);
        Store(&block->ready, 2);
        return true;
    }
    // Another process is between its two steps; it has only a few stores to make.
    for (int i = 0; i < 200 && Load(&block->ready) != 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (Load(&block->ready) == 2) return true;
    InitialiseFields(block);
    Store(&block->ready, 2);
    return false;
}

int32_t SharedBlockState::AddHostProcess() {
    return __atomic_add_fetch(&block_->hostProcessCount, 1, __ATOMIC_SEQ_CST);
}
int32_t SharedBlockState::RemoveHostProcess() {
    return __atomic_sub_fetch(&block_->hostProcessCount, 1, __ATOMIC_SEQ_CST);
}
int32_t SharedBlockState::HostProcessCount() {
    return Load(&block_->hostProcessCount);
}
int32_t SharedBlockState::UpdateState() {
    return Load(&block_->updateState);
}
void SharedBlockState::SetUpdateState(int32_t state) {
    Store(&block_->updateState, state);
}
bool SharedBlockState::CompareExchangeUpdateState(int32_t expected, int32_t desired) {
    return __atomic_compare_exchange_n(&block_->updateState, &expected, desired, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}

bool SharedBlockState::NextOpenIsUserDocument() {
    return __atomic_load_n(&block_->nextOpenIsUserDocument, __ATOMIC_SEQ_CST) == 1;
}
void SharedBlockState::SetNextOpenIsUserDocument(bool value) {
    __atomic_store_n(&block_->nextOpenIsUserDocument, value ? 1 : 0, __ATOMIC_SEQ_CST);
}

// Another process may write while this one reads (the fields are shared without a lock), so
// a name is read through a bounded copy and cut again: never past the buffer, always a whole
// character.
std::string SharedBlockState::ClickedName() {
    char copy[kNarrowTextBuffer];
    std::memcpy(copy, block_->clickedName, sizeof copy);
    return CutCp949(copy, sizeof copy, kNarrowTextMax);
}
void SharedBlockState::SetClickedName(const std::string& name) {
    CopyCp949(name, block_->clickedName, sizeof block_->clickedName);
}
std::string SharedBlockState::TakeClickedName() {
    std::string name = ClickedName();
    std::memset(block_->clickedName, 0, sizeof block_->clickedName);
    return name;
}
std::string SharedBlockState::LastKeyword() {
    char copy[kNarrowTextBuffer];
    std::memcpy(copy, block_->lastKeyword, sizeof copy);
    return CutCp949(copy, sizeof copy, kNarrowTextMax);
}
void SharedBlockState::SetLastKeyword(const std::string& keyword) {
    CopyCp949(keyword, block_->lastKeyword, sizeof block_->lastKeyword);
}

MemorySharedState::MemorySharedState() : MemorySharedState(std::make_unique<SharedBlock>()) {}

MemorySharedState::MemorySharedState(std::unique_ptr<SharedBlock> block)
    : SharedBlockState(block.get()), owned_(std::move(block)) {
    std::memset(owned_.get(), 0, sizeof(SharedBlock));
    InitialiseSharedBlock(owned_.get());
}

}  // namespace kv
