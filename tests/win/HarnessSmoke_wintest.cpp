// Proves the Windows test harness: a top-level window with a message loop
// under Xvfb, and COM automation through an object of the system's own set.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

namespace {

constexpr UINT_PTR kCloseTimer = 1;
int gTimerTicks = 0;

LRESULT CALLBACK smokeWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        if (wParam == kCloseTimer && ++gTimerTicks == 3) {
            KillTimer(hwnd, kCloseTimer);
            DestroyWindow(hwnd);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(42);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

TEST(HarnessSmoke, WindowRunsMessageLoopAndClosesFromTimer) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = smokeWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"PalomaSmokeWindow";
    wc.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    ASSERT_NE(RegisterClassW(&wc), 0);

    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Smoke", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                10, 10, 320, 200, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    RECT rc;
    ASSERT_TRUE(GetClientRect(hwnd, &rc));
    EXPECT_GT(rc.right, 0);
    ASSERT_NE(SetTimer(hwnd, kCloseTimer, 20, nullptr), 0u);

    MSG msg;
    int result;
    while ((result = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(msg.wParam, WPARAM(42));
    EXPECT_EQ(gTimerTicks, 3);
    EXPECT_FALSE(IsWindow(hwnd));
    UnregisterClassW(wc.lpszClassName, instance);
}

namespace {

HRESULT invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
    DISPID id;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPPARAMS params = {args, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

} // namespace

TEST(HarnessSmoke, ComObjectByProgId) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"Scripting.Dictionary", &clsid), S_OK);
    IDispatch* dict = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&dict)), S_OK);

    // Add("key", 7): arguments go in reverse order.
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"key");
    args[0].vt = VT_I4;
    args[0].lVal = 7;
    EXPECT_EQ(invoke(dict, L"Add", DISPATCH_METHOD, args, 2, nullptr), S_OK);

    VARIANT count;
    VariantInit(&count);
    ASSERT_EQ(invoke(dict, L"Count", DISPATCH_PROPERTYGET, nullptr, 0, &count), S_OK);
    EXPECT_EQ(count.vt, VT_I4);
    EXPECT_EQ(count.lVal, 1);

    VARIANT item;
    VariantInit(&item);
    ASSERT_EQ(invoke(dict, L"Item", DISPATCH_PROPERTYGET, &args[1], 1, &item), S_OK);
    EXPECT_EQ(item.vt, VT_I4);
    EXPECT_EQ(item.lVal, 7);

    VariantClear(&args[1]);
    EXPECT_EQ(dict->Release(), 0u);
    CoUninitialize();
}
