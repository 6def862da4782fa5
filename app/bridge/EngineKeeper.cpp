// EngineKeeper: creation on first use, destruction deferred past running calls.
#include "app/bridge/EngineKeeper.h"

#include "app/bridge/FlashBridge.h"

namespace paloma::bridge {

EngineKeeper::~EngineKeeper() { release(); }

void EngineKeeper::release() {
    destroyPending_ = false;
    if (!engine_)
        return;
    removeBridge(*engine_);
    engine_.reset();
}

void EngineKeeper::destroy() {
    if (uses_ > 0) {
        // A script is still running on the engine below this call.
        destroyPending_ = engine_ != nullptr;
        return;
    }
    release();
}

EngineKeeper::Use::Use(EngineKeeper& keeper) : keeper_(keeper), engine_(nullptr) {
    if (!keeper_.engine_ && keeper_.factory_) {
        keeper_.engine_ = keeper_.factory_();
        if (keeper_.engine_)
            ++keeper_.generation_;
    }
    engine_ = keeper_.engine_.get();
    ++keeper_.uses_;
}

EngineKeeper::Use::~Use() {
    if (--keeper_.uses_ == 0 && keeper_.destroyPending_)
        keeper_.release();
}

} // namespace paloma::bridge
