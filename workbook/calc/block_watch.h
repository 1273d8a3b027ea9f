#pragma once
// Inside the Calc engine only: listeners on blocks of cells, and telling this workbook's own
// writes from everyone else's changes.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <com/sun/star/util/XModifyBroadcaster.hpp>
#include <com/sun/star/util/XModifyListener.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>

#include "workbook/calc/uno_session.h"

namespace tivaro::workbook::calc {

// The writes this workbook has in flight: Calc reports the changes they make during the call,
// on the calling thread.
struct OwnWrites {
    std::atomic<bool> active{false};
    std::atomic<std::thread::id> thread;
    bool inFlightHere() const { return active && thread.load() == std::this_thread::get_id(); }
};

// Marks the writes made while it lives as this workbook's own.
class OwnWrite {
public:
    explicit OwnWrite(OwnWrites& own) : own_(own) {
        own_.thread = std::this_thread::get_id();
        own_.active = true;
    }
    ~OwnWrite() { own_.active = false; }
    OwnWrite(const OwnWrite&) = delete;
    OwnWrite& operator=(const OwnWrite&) = delete;

private:
    OwnWrites& own_;
};

// Notes that Calc reported a change of the values of a block, or a move of it, or that the
// block is gone. With `own`, the changes of this workbook's own writes do not count. Calc calls
// it from the bridge's threads.
class BlockWatch : public cppu::WeakImplHelper1<css::util::XModifyListener> {
public:
    explicit BlockWatch(std::shared_ptr<OwnWrites> own, std::function<void()> changed = {})
        : own_(std::move(own)), changed_(std::move(changed)) {}
    void SAL_CALL modified(const css::lang::EventObject&) override {
        if (!own_ || !own_->inFlightHere()) {
            stale_ = true;
            if (changed_) {
                changed_();
            }
        }
    }
    void SAL_CALL disposing(const css::lang::EventObject&) override { stale_ = true; }
    bool stale() const { return stale_; }

private:
    std::shared_ptr<OwnWrites> own_;
    std::function<void()> changed_;
    std::atomic<bool> stale_{false};
};

// Stops a block's watch; a block, sheet or document that is gone took the listener with it.
inline void Unwatch(const css::uno::Reference<css::util::XModifyBroadcaster>& broadcaster,
                    const rtl::Reference<BlockWatch>& watch) {
    try {
        broadcaster->removeModifyListener(watch.get());
    } catch (...) {
    }
}

}  // namespace tivaro::workbook::calc
