// Form: an extra window, modal or modeless, with a Flash control of its own.
#include "host/flash/FlashClasses.h"

#include <windows.h>
#include <ocidl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/TextCodec.h"
#include "base/WinText.h"
#include "host/HostServices.h"
#include "host/flash/FlashControl.h"
#include "host/flash/FlashData.h"
#include "host/flash/RegionFile.h"
#include "host/framework/ComObject.h"
#include "host/framework/Events.h"
#include "host/framework/FlashHost.h"
#include "host/framework/HostClass.h"
#include "host/window/Window.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::MemberCall;
using quill::Value;

constexpr wchar_t kFormClass[] = L"PalomaForm";
constexpr wchar_t kDragProperty[] = L"PalomaFormDrag";
constexpr int kControlId = 1000;
// Posted to a form window to destroy it once the control's event that
// closed it has returned.
constexpr UINT kDestroyLater = WM_APP + 1;
// The size of a form whose movie's header cannot be read.
constexpr int kDefaultWidth = 550, kDefaultHeight = 400;

class FormWindow;

struct Form {
    explicit Form(Engine& e) : engine(e) {}
    Engine& engine;
    std::u16string movie, initVars, caption, clipRegion;
    bool showCaption = true;
    bool canDrag = false;
    std::u16string returnText;
    Value onExit;
    Value self;         // the form's own script Value (`this` of onExit)
    Value windowObject; // the Window object of the live window
    FormWindow* window = nullptr;

    void markValues(Engine& e) const {
        quill::markValue(e, onExit);
        quill::markValue(e, self);
        quill::markValue(e, windowObject);
    }
    ~Form();

    // Ends the shown state: the return text (when given), the window closed
    // and forgotten, then onExit (unless the form is being collected).
    void finish(const std::u16string* text, bool callHandler);
};

// The initial properties of a form's control: FlashVars and Movie (or Src).
class FormPropertyBag final : public ComObject<IPropertyBag> {
public:
    FormPropertyBag(std::u16string movie, std::u16string flashVars)
        : movie_(std::move(movie)), flashVars_(std::move(flashVars)) {}
    void* findInterface(REFIID iid) override {
        return iid == IID_IUnknown || iid == IID_IPropertyBag ? static_cast<IPropertyBag*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (!name || !value)
            return E_POINTER;
        const std::u16string* text = nullptr;
        if (_wcsicmp(name, L"FlashVars") == 0)
            text = &flashVars_;
        else if (_wcsicmp(name, L"Movie") == 0 || _wcsicmp(name, L"Src") == 0)
            text = &movie_;
        if (!text)
            return E_INVALIDARG;
        VariantInit(value);
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()), UINT(text->size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    std::u16string movie_, flashVars_;
};

std::wstring wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The live window of a shown form. It owns itself: it goes with its window
// (WM_NCDESTROY), which may outlive the form's shown state by a posted
// message when the form was closed from inside one of its control's events.
class FormWindow final : public FlashEvents {
public:
    static FormWindow* create(Form& form, HWND owner);

    HWND hwnd() const { return hwnd_; }
    IDispatch* control() const { return host_.dispatch(); }
    // The form no longer owns this window; destroys it now, or once the
    // control's event now running has returned. `fromCollector`: the form is
    // being collected, when no script may run (the window's own script
    // events included): the window only goes from the message loop.
    void release(bool fromCollector) {
        form_ = nullptr;
        if (fromCollector) {
            PostMessageW(hwnd_, kDestroyLater, 0, 0);
        } else if (eventDepth_ > 0) {
            ShowWindow(hwnd_, SW_HIDE);
            PostMessageW(hwnd_, kDestroyLater, 0, 0);
        } else {
            DestroyWindow(hwnd_);
        }
    }
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    void onFSCommand(const std::wstring& command, const std::wstring& args) override {
        ++eventDepth_;
        HWND self = hwnd_;
        if (_wcsicmp(command.c_str(), L"Quill_Ret") == 0) {
            if (form_) {
                std::u16string text(args.begin(), args.end());
                form_->finish(&text, true);
            }
        } else {
            hostServices().forwardFSCommand(command, args);
        }
        // The window may be gone by now (a script destroyed it).
        if (IsWindow(self))
            --eventDepth_;
    }
    void onFlashCall(const std::wstring&) override {}

    ~FormWindow() override { host_.close(); }

private:
    explicit FormWindow(Form& form) : host_(*this), form_(&form) {}

    static LRESULT CALLBACK dragProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool createControl(const Form& form);

    HWND hwnd_ = nullptr;
    FlashHost host_;
    HMODULE module_ = nullptr;
    Form* form_;
    int eventDepth_ = 0;
    WNDPROC controlProc_ = nullptr;
};

bool registerFormClass() {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kFormClass, &existing))
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = FormWindow::windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFormClass;
    return RegisterClassExW(&wc) != 0;
}

// The movie's natural size when its header can be read.
SIZE movieSize(const std::u16string& movie) {
    std::wstring path = wide(movie);
    constexpr wchar_t kFileUrl[] = L"file:///";
    if (_wcsnicmp(path.c_str(), kFileUrl, 8) == 0)
        path = path.substr(8);
    std::error_code ignored;
    if (auto info = readMovieInfo(std::filesystem::path(path))) {
        int w = (info->xMax - info->xMin) / 20, h = (info->yMax - info->yMin) / 20;
        if (w > 0 && h > 0 && w < 10000 && h < 10000)
            return {w, h};
    }
    return {kDefaultWidth, kDefaultHeight};
}

// The region of the mask file `name`.msk in the extraction folder; null
// when there is none or it cannot be read.
HRGN maskRegion(const std::u16string& name) {
    std::string folder = hostServices().extractionFolder();
    if (folder.empty() || name.empty())
        return nullptr;
    std::wstring path = widen(folder) + wide(name) + L".msk";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    LARGE_INTEGER size{};
    std::vector<uint8_t> bytes;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (64 << 20)) {
        bytes.resize(size_t(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) || got != bytes.size())
            bytes.clear();
    }
    CloseHandle(file);
    auto rects = parseRegionData(bytes);
    if (!rects)
        return nullptr;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    for (const RegionRect& r : *rects) {
        HRGN piece = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        CombineRgn(region, region, piece, RGN_OR);
        DeleteObject(piece);
    }
    return region;
}

FormWindow* FormWindow::create(Form& form, HWND owner) {
    if (!registerFormClass())
        return nullptr;
    DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    if (form.showCaption)
        style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    SIZE size = movieSize(form.movie);
    RECT frame = {0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    // Centred over the owner, else on the screen.
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner)
        GetWindowRect(owner, &area);
    int x = area.left + (area.right - area.left - w) / 2, y = area.top + (area.bottom - area.top - h) / 2;

    auto window = std::unique_ptr<FormWindow>(new FormWindow(form));
    HWND hwnd = CreateWindowExW(0, kFormClass, wide(form.caption).c_str(), style, x, y, w, h, owner, nullptr,
                                GetModuleHandleW(nullptr), window.get());
    if (!hwnd)
        return nullptr;
    // From here on the window owns the object (WM_NCDESTROY deletes it).
    FormWindow* self = window.release();
    if (!self->createControl(form)) {
        self->form_ = nullptr;
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (HRGN region = maskRegion(form.clipRegion))
        SetWindowRgn(hwnd, region, FALSE); // the window owns the region now
    return self;
}

bool FormWindow::createControl(const Form& form) {
    RECT client;
    GetClientRect(hwnd_, &client);
    ComPtr<FormPropertyBag> bag(new FormPropertyBag(form.movie, form.initVars));
    if (!host_.create(hwnd_, kControlId, client, hostServices().flashModulePath(), &module_, bag.get()))
        return false;
    if (form.canDrag && host_.window()) {
        // The control's window keeps its own data: ours goes in a property.
        SetPropW(host_.window(), kDragProperty, this);
        controlProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(host_.window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dragProc)));
    }
    return true;
}

// The control's window of a form that can be dragged: a left-button press
// anywhere moves the form.
LRESULT CALLBACK FormWindow::dragProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<FormWindow*>(GetPropW(hwnd, kDragProperty));
    if (!self || !self->controlProc_)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_LBUTTONDOWN) {
        ReleaseCapture();
        SendMessageW(self->hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    }
    WNDPROC original = self->controlProc_;
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(hwnd, kDragProperty);
        self->controlProc_ = nullptr;
    }
    return CallWindowProcW(original, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->onMessage(msg, wParam, lParam);
}

LRESULT FormWindow::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        if (host_.created()) {
            RECT client;
            GetClientRect(hwnd_, &client);
            host_.setRect(client);
        }
        return 0;
    case WM_COMMAND:
        // The main window's closing protocol cancels the active dialog.
        if (LOWORD(wParam) != IDCANCEL)
            break;
        [[fallthrough]];
    case WM_CLOSE:
        if (form_)
            form_->finish(nullptr, true);
        else
            DestroyWindow(hwnd_);
        return 0;
    case kDestroyLater:
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        if (controlProc_ && host_.window() && IsWindow(host_.window())) {
            SetWindowLongPtrW(host_.window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(controlProc_));
            RemovePropW(host_.window(), kDragProperty);
            controlProc_ = nullptr;
        }
        host_.close();
        if (module_) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
        break;
    case WM_NCDESTROY: {
        // Closed from outside (its owner went): the form is no longer shown.
        if (form_) {
            Form* form = form_;
            form_ = nullptr;
            form->window = nullptr;
            form->windowObject = Value::undefined();
        }
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        LRESULT r = DefWindowProcW(hwnd_, msg, wParam, lParam);
        delete this;
        return r;
    }
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

Form::~Form() {
    // Collected while shown: the window closes without calling scripts.
    if (window)
        finish(nullptr, false);
}

void Form::finish(const std::u16string* text, bool callHandler) {
    if (text)
        returnText = *text;
    if (!window)
        return;
    FormWindow* w = window;
    window = nullptr;
    windowObject = Value::undefined();
    w->release(!callHandler);
    if (callHandler && onExit.isFunction()) {
        quill::RootedValues keep(engine);
        keep.values = {self, onExit};
        ScriptCallScope scope;
        if (!fireHandler(engine, self, onExit, {quill::newString(engine, returnText)}) && engine.errorText[0])
            quill::writeTrace(engine, engine.errorText);
    }
}

// ---------------------------------------------------------------------------
// Members
// ---------------------------------------------------------------------------

void textProperty(std::u16string& field, MemberCall& c) {
    if (!c.put)
        c.value = quill::newString(c.engine, field);
    else if (c.value.isString())
        field = quill::stringToWide(c.value.asString());
}

void movieProperty(Form& f, MemberCall& c) { textProperty(f.movie, c); }
void initVarsProperty(Form& f, MemberCall& c) { textProperty(f.initVars, c); }
void clipRegionProperty(Form& f, MemberCall& c) { textProperty(f.clipRegion, c); }
void captionProperty(Form& f, MemberCall& c) {
    textProperty(f.caption, c);
    if (c.put && f.window)
        SetWindowTextW(f.window->hwnd(), wide(f.caption).c_str());
}

void showCaptionProperty(Form& f, MemberCall& c) {
    if (!c.put)
        c.value = quill::booleanResult(f.showCaption);
    else if (auto b = quill::booleanFrom(c.value, true))
        f.showCaption = *b;
}

void canDragProperty(Form& f, MemberCall& c) {
    if (!c.put)
        c.value = quill::booleanResult(f.canDrag);
    else if (auto b = quill::booleanFrom(c.value, true))
        f.canDrag = *b;
}

void windowProperty(Form& f, MemberCall& c) {
    if (!c.put)
        c.value = f.window ? f.windowObject : Value::null();
}

void onExitProperty(Form& f, MemberCall& c) {
    if (!c.put)
        c.value = f.onExit.isFunction() ? f.onExit : Value::undefined();
    else
        f.onExit = c.value.isFunction() ? c.value : Value::undefined();
}

void show(Form& f, MemberCall& c) {
    c.result = Value::null();
    if (f.window)
        return;
    bool modal = true;
    if (c.has(1)) {
        auto b = c.boolean(1, true);
        if (!b)
            return;
        modal = *b;
    }
    HWND owner = static_cast<HWND>(hostServices().playerWindow());
    if (c.has(2))
        if (auto* ownerForm = static_cast<NativeHandle<Form>*>(quill::instanceData(c.arg(2), c.engine, "Form")))
            if (ownerForm->object && ownerForm->object->window)
                owner = ownerForm->object->window->hwnd();

    FormWindow* window = FormWindow::create(f, owner);
    if (!window)
        return;
    f.window = window;
    HWND hwnd = window->hwnd();
    Value object;
    if (makeWindowObject(c.engine, hwnd, object))
        f.windowObject = object;

    if (!modal) {
        ShowWindow(hwnd, SW_SHOW);
    } else {
        // Run over the owner until the form window is gone.
        bool ownerEnabled = owner && IsWindowEnabled(owner);
        if (ownerEnabled)
            EnableWindow(owner, FALSE);
        ShowWindow(hwnd, SW_SHOW);
        MSG msg;
        while (IsWindow(hwnd)) {
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(int(msg.wParam)); // the program's own loop must see it
                f.finish(nullptr, false);
                break;
            }
            if (got < 0)
                break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ownerEnabled && IsWindow(owner)) {
            EnableWindow(owner, TRUE);
            SetActiveWindow(owner);
        }
    }
    c.result = quill::newString(c.engine, f.returnText);
}

void close(Form& f, MemberCall& c) {
    std::u16string text;
    const std::u16string* given = nullptr;
    if (c.arg(1).isString()) {
        text = quill::stringToWide(c.arg(1).asString());
        given = &text;
    }
    f.finish(given, true);
}

// The form's control while it is shown.
IDispatch* formControl(Form& f) { return f.window ? f.window->control() : nullptr; }

std::optional<std::u16string> textArg(MemberCall& c, int64_t i) {
    Value v = c.arg(i);
    if (!c.has(i) || !v.isString())
        return std::nullopt;
    return quill::stringToWide(v.asString());
}

void getVariable(Form& f, MemberCall& c) {
    IDispatch* control = formControl(f);
    auto name = textArg(c, 1);
    if (!control || !name)
        return;
    if (auto text = getMovieVariable(control, *name))
        c.result = quill::newString(c.engine, *text);
}

void setVariable(Form& f, MemberCall& c) {
    IDispatch* control = formControl(f);
    auto name = textArg(c, 1), value = textArg(c, 2);
    if (control && name && value)
        c.result = quill::booleanResult(setMovieVariable(control, *name, *value));
}

// targetGotoFrame, targetCallFrame: target and frame; targetGotoLabel,
// targetCallLabel: target and label.
void targetCall(Form& f, MemberCall& c) {
    static constexpr const wchar_t* kCalls[] = {L"TGotoFrame", L"TCallFrame", L"TGotoLabel", L"TCallLabel"};
    IDispatch* control = formControl(f);
    auto target = textArg(c, 1);
    if (!control || !target)
        return;
    ControlArgs args;
    args.text(*target);
    if (c.member.tag < 2) {
        auto frame = c.number(2);
        if (!frame)
            return;
        args.integer(*frame);
    } else {
        auto label = textArg(c, 2);
        if (!label)
            return;
        args.text(*label);
    }
    OwnedVariant result;
    c.result = quill::booleanResult(SUCCEEDED(dispatchCall(control, kCalls[c.member.tag], args.values(), result.get())));
}

void setBase(Form& f, MemberCall& c) {
    IDispatch* control = formControl(f);
    auto folder = textArg(c, 1);
    if (!control || !folder)
        return;
    std::u16string base = u"file:///" + *folder;
    for (char16_t& ch : base)
        if (ch == u'\\')
            ch = u'/';
    if (base.back() != u'/')
        base += u'/';
    ControlArgs arg;
    arg.text(base);
    c.result = quill::booleanResult(SUCCEEDED(dispatchPut(control, L"Base", arg.values()[0])));
}

void loadMovie(Form& f, MemberCall& c) {
    IDispatch* control = formControl(f);
    auto layer = c.number(1);
    auto url = textArg(c, 2);
    if (!control || !layer || !url)
        return;
    ControlArgs args;
    args.integer(*layer).text(*url);
    c.result = quill::booleanResult(SUCCEEDED(dispatchCall(control, L"LoadMovie", args.values(), nullptr)));
}

// The global createControl with the form window as the parent.
void createControl(Form& f, MemberCall& c) {
    if (!f.window || !c.has(1))
        return;
    constexpr int64_t kArgs = 8;
    const Value defaults[kArgs] = {Value::undefined(), Value::integer(0), Value::integer(0), Value::integer(50),
                                   Value::integer(50), Value::undefined(), Value::undefined(), Value::undefined()};
    quill::RootedValues list(c.engine);
    list.values.push_back(Value::integer(kArgs));
    for (int64_t i = 1; i <= kArgs; ++i)
        list.values.push_back(i <= c.count() ? c.arg(i) : defaults[i - 1]);
    list.values[kArgs] = Value::integer(int64_t(reinterpret_cast<intptr_t>(f.window->hwnd())));
    if (quill::callValue(c.engine, "createControl", Value::undefined(), quill::ArgList{list.values.data()}))
        c.result = c.engine.lastResult;
}

void formConstruct(Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    Form* form = bindHandle(engine, cls, std::make_unique<Form>(engine), result);
    if (form)
        form->self = result;
}

constexpr quill::Member kFormMembers[] = {
    property<movieProperty>("movie"),
    property<initVarsProperty>("initVars"),
    property<captionProperty>("caption"),
    property<showCaptionProperty>("showCaption"),
    property<canDragProperty>("canDrag"),
    property<clipRegionProperty>("clipRegion"),
    property<windowProperty>("window"),
    property<onExitProperty>("onExit"),
    method<show>("show", Fallback::Null, Fallback::Null),
    method<close>("close"),
    method<getVariable>("getVariable"),
    method<setVariable>("setVariable"),
    {"targetGotoFrame", quill::MemberKind::Method, detail::instanceMember<targetCall>, 0},
    {"targetCallFrame", quill::MemberKind::Method, detail::instanceMember<targetCall>, 1},
    {"targetGotoLabel", quill::MemberKind::Method, detail::instanceMember<targetCall>, 2},
    {"targetCallLabel", quill::MemberKind::Method, detail::instanceMember<targetCall>, 3},
    method<setBase>("setBase"),
    method<loadMovie>("loadMovie"),
    method<createControl>("createControl"),
};

} // namespace

void registerFormClass(Engine& engine) {
    registerHostClass(engine, {.className = "Form",
                               .members = kFormMembers,
                               .construct = formConstruct,
                               .destroyData = destroyHandle<Form>,
                               .markData = markHandle<Form>});
}

} // namespace paloma::host
