#pragma once
// The live object behind an ActiveXObject: its dispatch interface and type
// information, member lookup by name, typed and late-bound invocation, its
// event sinks and property-notification sink, and the reporting of failed
// automation calls. Windows only.

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/framework/WinHandles.h"
#include "script/Quill.h"

namespace paloma::host {

class EventSink;
class PropertyNotifySink;

// What an ActiveXObject holds.
class AutomationObject {
public:
    AutomationObject(quill::Engine& engine, ComPtr<IDispatch> dispatch);
    ~AutomationObject();
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    IDispatch* dispatch() const { return dispatch_.get(); }
    ITypeInfo* typeInfo() const { return typeInfo_.get(); }
    // The object's own script Value: `this` for its event handlers.
    void setSelf(const quill::Value& self) { self_ = self; }
    const quill::Value& self() const { return self_; }
    quill::Engine& engine() const { return engine_; }
    void markValues(quill::Engine& engine) const;

    // The member id of a name: through the type information when it knows
    // the name, else asked from the object.
    std::optional<DISPID> memberId(const std::string& name) const;

    // Calls member `id` (flags: DISPATCH_METHOD, DISPATCH_PROPERTYGET,
    // DISPATCH_PROPERTYPUT...) with script arguments in their order. With
    // type information for the member, arguments are converted to the
    // declared types and parameters declared by reference are passed through
    // the `value` property of an object argument (written back after the
    // call); without it the call is late-bound, an object argument with a
    // `value` property being passed by reference as a variant. A raised
    // exception or a failing status is reported (reportComFailure,
    // reportException) and leaves `result` undefined.
    void invoke(DISPID id, WORD flags, std::span<const quill::Value> args, quill::Value& result);

    // Events: makes `handler` the function of the event `name` of one of the
    // object's source interfaces. False when no source interface has it.
    bool setEventHandler(const std::string& name, const quill::Value& handler);

    // The property-notification sink: connects or disconnects it.
    bool enablePropertyNotify(bool enable);
    bool propertyNotifyEnabled() const { return notifyCookie_ != 0; }
    // OnPropertyChanged (0) and OnPropertyWillChange (1).
    quill::Value notifyHandlers[2];

private:
    void loadSources();

    quill::Engine& engine_;
    ComPtr<IDispatch> dispatch_;
    ComPtr<ITypeInfo> typeInfo_;
    quill::Value self_;
    bool sourcesLoaded_ = false;
    std::vector<ComPtr<EventSink>> sinks_;
    ComPtr<PropertyNotifySink> notify_;
    ComPtr<IConnectionPoint> notifyPoint_;
    DWORD notifyCookie_ = 0;
};

// A failing status other than an exception: the system's text for it goes
// to the engine's error text and to the trace output.
void reportComFailure(quill::Engine& engine, HRESULT status);

// A raised exception: its text "source:description. See also: help file."
// goes to the trace output and the error text, and to the class-wide
// `onError` handler of ActiveXObject.
void reportException(quill::Engine& engine, EXCEPINFO& info);
std::string exceptionText(const EXCEPINFO& info);

// The class-wide `onError` handler (kept in a global no script can name).
quill::Value& activeXErrorHandler(quill::Engine& engine);

} // namespace paloma::host
