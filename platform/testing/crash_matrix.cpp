#include "platform/testing/crash_matrix.h"

#include <exception>

#include "platform/testing/temp_dir.h"

namespace tlvx {

namespace {

const char* OpName(TFaultOp op) {
    switch (op) {
        case TFaultOp::Write: return "write";
        case TFaultOp::Sync: return "sync";
        case TFaultOp::Truncate: return "truncate";
        case TFaultOp::DirectorySync: return "directory sync";
    }
    return "?";
}

const char* ModeName(TCrashMode mode) {
    switch (mode) {
        case TCrashMode::Apply: return "apply";
        case TCrashMode::Drop: return "drop";
        case TCrashMode::Tear: return "tear";
        case TCrashMode::Kill: return "kill";
    }
    return "?";
}

// Runs a process over the fault file system; a simulated crash ends it. Other
// escapes are returned as text.
std::string RunProcess(const std::function<void()>& run) {
    try {
        run();
    } catch (const ESimulatedCrash&) {
    } catch (const std::exception& e) {
        return e.what()[0] ? e.what() : "exception";
    } catch (...) {
        return "unknown exception";
    }
    return {};
}

// The points 1..n to try, at most max of them (0: all): evenly spread, the
// last always among them, the others shifted by shift.
std::vector<uint64_t> Points(uint64_t n, uint64_t max, uint64_t shift) {
    std::vector<uint64_t> points;
    if (max == 0 || n <= max) {
        for (uint64_t at = 1; at <= n; ++at) points.push_back(at);
        return points;
    }
    if (max == 1) return {n};
    const uint64_t stride = (n + max - 2) / (max - 1);
    for (uint64_t at = 1 + shift % stride; at < n; at += stride) points.push_back(at);
    points.push_back(n);
    return points;
}

}  // namespace

std::string CrashMatrixScratchBase() { return MemoryTempBase(); }

std::string TCrashCase::Describe() const {
    std::string s = std::string("killed at ") + OpName(killOp) + " " + std::to_string(killAt) +
                    ", then " + next + ", power " + ModeName(mode);
    if (at == 0) s += " after it ended";
    else s += std::string(" at ") + OpName(op) + " " + std::to_string(at);
    s += " (seed " + std::to_string(seed) + ")";
    if (!nextError.empty()) s += "; " + next + " failed: " + nextError;
    return s;
}

void TCrashMatrix::AddNext(std::string name, std::function<void()> run) {
    nexts_.emplace_back(std::move(name), std::move(run));
}

bool TCrashMatrix::RunCase(TCrashCase c, const std::function<void()>& next, uint64_t* counts) {
    fs_.Reset();
    SetFileSystem(nullptr);
    restore();
    SetFileSystem(&fs_);
    fs_.CrashAt(c.killOp, c.killAt, TCrashMode::Kill);
    RunProcess(first);
    if (!fs_.Crashed()) {
        fs_.Reset();
        SetFileSystem(nullptr);
        return false;  // the run changed: the kill point was never reached
    }
    fs_.Restart();
    if (c.at != 0) fs_.CrashAt(c.op, c.at, c.mode, c.seed);
    const std::string error = RunProcess(next);
    c.nextEnded = !fs_.Crashed();
    if (c.nextEnded) {
        c.nextError = error;
        for (int i = 0; i < kFaultOpKinds; ++i) counts[i] = fs_.Count(TFaultOp(i));
        fs_.Crash(c.mode, c.seed);
    }
    fs_.Reset();
    SetFileSystem(nullptr);
    return check(c);
}

bool TCrashMatrix::RunAfterKill(TFaultOp killOp, uint64_t killAt, uint64_t shift,
                                const std::string& name, const std::function<void()>& next,
                                TStats& stats) {
    TCrashCase c;
    c.killOp = killOp;
    c.killAt = killAt;
    c.next = name;
    const uint32_t killSeed = uint32_t(killAt * 7919 + uint64_t(killOp) * 31);
    // The power loss after the next process has ended comes first: that run
    // counts the points of the others.
    uint64_t counts[kFaultOpKinds] = {};
    for (TCrashMode mode : {TCrashMode::Drop, TCrashMode::Tear}) {
        c.mode = mode;
        c.seed = killSeed;
        ++stats.cases;
        if (!RunCase(c, next, counts)) return false;
    }
    for (TCrashMode mode : {TCrashMode::Drop, TCrashMode::Tear}) {
        c.mode = mode;
        for (TFaultOp op : mode == TCrashMode::Drop ? dropPoints : tearPoints) {
            c.op = op;
            for (uint64_t at : Points(counts[int(op)], maxPointsPerKind, shift)) {
                c.at = at;
                c.seed = killSeed + uint32_t(at * 104729 + uint64_t(op));
                uint64_t ignored[kFaultOpKinds];
                ++stats.cases;
                if (!RunCase(c, next, ignored)) return false;
            }
        }
    }
    return true;
}

TCrashMatrix::TStats TCrashMatrix::Run() {
    TStats stats;
    // The clean run of the first process tells its kill points.
    fs_.Reset();
    SetFileSystem(nullptr);
    restore();
    SetFileSystem(&fs_);
    RunProcess(first);
    uint64_t kills[kFaultOpKinds];
    for (int i = 0; i < kFaultOpKinds; ++i) kills[i] = fs_.Count(TFaultOp(i));
    fs_.Reset();
    SetFileSystem(nullptr);

    for (TFaultOp killOp : killPoints) {
        for (uint64_t kill = 1; kill <= kills[int(killOp)]; ++kill) {
            // The sampled points shift from one kill point to the next.
            const uint64_t shift = stats.killPoints++;
            for (const auto& [name, next] : nexts_) {
                if (!RunAfterKill(killOp, kill, shift, name, next, stats)) {
                    stats.stopped = true;
                    return stats;
                }
            }
        }
    }
    return stats;
}

}  // namespace tlvx
