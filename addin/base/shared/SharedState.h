// The small block of state that every process with the add-in library loaded sees: the
// host-process count, the update state, NextOpenIsUserDocument, the clicked template name and
// the last keyword. SharedBlockState works on one block wherever it lives: on the heap for
// native tests (MemorySharedState) or in a per-session named file mapping on Windows
// (SystemSharedState, SharedStateMapping.cpp).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "addin/base/shared/TextCut.h"

namespace kv {

// The update state of SharedState.
enum UpdateStateValue : int32_t {
    kUpdateNotStarted = 0,
    kUpdateElsewhere = 1,   // another host process found an update already under way
    kUpdateLeftBeside = 2,  // the new library waits beside the old one for the updater
    kUpdateReplaced = 3,    // replaced in place: the updater must not run
};

class SharedState {
public:
    virtual ~SharedState() = default;
    // The number of processes that hold the library; both return the new count.
    virtual int32_t AddHostProcess() = 0;
    virtual int32_t RemoveHostProcess() = 0;
    virtual int32_t HostProcessCount() = 0;
    virtual int32_t UpdateState() = 0;
    virtual void SetUpdateState(int32_t state) = 0;
    // Sets the update state to desired only when it is expected, in one interlocked step; true
    // when it was set. Two hosts that both saw 0 can then never both claim the update.
    virtual bool CompareExchangeUpdateState(int32_t expected, int32_t desired) = 0;
    virtual bool NextOpenIsUserDocument() = 0;
    virtual void SetNextOpenIsUserDocument(bool value) = 0;
    // Names come back at most 249 bytes, ending on a whole character, whatever the block holds.
    virtual std::string ClickedName() = 0;
    virtual void SetClickedName(const std::string& name) = 0;
    // The clicked name, after which the shared field is empty: only one new pane gets it.
    virtual std::string TakeClickedName() = 0;
    virtual std::string LastKeyword() = 0;
    virtual void SetLastKeyword(const std::string& keyword) = 0;
};

// The block as it lies in shared memory. A new mapping is all zeros; ready says whether the
// one-time initialisation (NextOpenIsUserDocument = 1) is done. Changing this layout means a new
// kSharedBlockVersion, which is part of the mapping's name, so libraries of two layouts never
// share a block.
struct SharedBlock {
    int32_t ready;  // 0 fresh, 1 being initialised, 2 ready
    int32_t hostProcessCount;
    int32_t updateState;
    uint8_t nextOpenIsUserDocument;
    char clickedName[kNarrowTextBuffer];
    char lastKeyword[kNarrowTextBuffer];
};
constexpr int kSharedBlockVersion = 1;

// Initialises a block exactly once among all that map it, whoever comes first; the others
// wait (bounded) until it is ready. False when it never became ready (the creator died
// between its two steps): the block is then initialised by the caller.
bool InitialiseSharedBlock(SharedBlock* block);

class SharedBlockState : public SharedState {
public:
    // block must outlive this object and be initialised (InitialiseSharedBlock).
    explicit SharedBlockState(SharedBlock* block) : block_(block) {}

    int32_t AddHostProcess() override;
    int32_t RemoveHostProcess() override;
    int32_t HostProcessCount() override;
    int32_t UpdateState() override;
    void SetUpdateState(int32_t state) override;
    bool CompareExchangeUpdateState(int32_t expected, int32_t desired) override;
    bool NextOpenIsUserDocument() override;
    void SetNextOpenIsUserDocument(bool value) override;
    std::string ClickedName() override;
    void SetClickedName(const std::string& name) override;
    std::string TakeClickedName() override;
    std::string LastKeyword() override;
    void SetLastKeyword(const std::string& keyword) override;

private:
    SharedBlock* block_;
};

// A block of this process only, for tests and for when the shared one cannot be had.
class MemorySharedState : public SharedBlockState {
public:
    MemorySharedState();

private:
    explicit MemorySharedState(std::unique_ptr<SharedBlock> block);
    std::unique_ptr<SharedBlock> owned_;
};

// The state of this logon session (Windows: the named mapping; elsewhere a process block).
// Falls back to a block of the process when the mapping cannot be made, so callers never
// see null.
SharedState& SystemSharedState();

}  // namespace kv
