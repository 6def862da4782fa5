// The preview window inside a parent window the test creates: the icon, a
// packaged bitmap centred in the window, a movie in a player control, and
// the end of the run when the parent destroys the preview.
#include "PlayerSupport.h"

#include "app/shell/PreviewWnd.h"
#include "app/shell/ShellContext.h"
#include "tests/support/Screenshot.h"

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

// A bottom-up 24-bit bitmap file of one colour (COLORREF).
std::vector<uint8_t> bitmapFile(int width, int height, COLORREF colour) {
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + stride * height);
    std::vector<uint8_t> bytes(file.bfSize, 0);
    memcpy(bytes.data(), &file, sizeof file);
    memcpy(bytes.data() + sizeof file, &info, sizeof info);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bytes.data() + file.bfOffBits + y * stride + x * 3;
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
        }
    return bytes;
}

// Saves what the window's client area shows: the test's artifact.
void saveScreenshot(HWND w, const std::wstring& name) {
    RECT rc;
    GetClientRect(w, &rc);
    HDC dc = GetDC(w);
    testsupport::saveDcArea(dc, 0, 0, rc.right, rc.bottom, std::filesystem::path(L"artifacts") / name);
    ReleaseDC(w, dc);
}

class PreviewTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PreviewTestParent";
        RegisterClassW(&wc);
        parent = CreateWindowW(L"PreviewTestParent", L"Display settings", WS_POPUP | WS_VISIBLE, 50, 50, 200, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        exeFolder = std::filesystem::path(modulePath()).parent_path();
    }
    void TearDown() override {
        if (IsWindow(parent))
            DestroyWindow(parent);
        setShellMainWindow(nullptr);
        for (const auto& f : beside)
            std::filesystem::remove(f);
        MainWindowTest::TearDown();
    }
    std::unique_ptr<ShellScripts> makeScripts() override { return std::make_unique<RecordingScripts>(scripts); }

    // A file beside the executable: where a package without an archive keeps its files.
    std::wstring putBeside(const std::wstring& name, const std::vector<uint8_t>& bytes) {
        std::filesystem::path p = exeFolder / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        beside.push_back(p);
        return p.wstring();
    }

    COLORREF pixel(HWND w, int x, int y) {
        HDC dc = GetDC(w);
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(w, dc);
        return c;
    }

    HWND parent = nullptr;
    std::filesystem::path exeFolder;
    std::vector<std::filesystem::path> beside;
    RecordingScripts::Shared scripts;
};

} // namespace

TEST_F(PreviewTest, BitmapIsCentredAndTheParentEndsTheRun) {
    std::wstring name = L"preview-" + std::to_wstring(GetCurrentProcessId()) + L".bmp";
    putBeside(name, bitmapFile(20, 10, RGB(255, 0, 0)));
    RuntimeSettings settings;
    settings.preview.selector = kPreviewFile;
    settings.preview.path = std::u16string(name.begin(), name.end());
    CPreviewWnd* preview = CPreviewWnd::create(services, parent, settings, u"movie.swf");
    ASSERT_NE(preview, nullptr);
    HWND w = preview->hwnd();
    setShellMainWindow(w);
    EXPECT_EQ(GetParent(w), parent);
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(w));
    RECT rc;
    GetClientRect(w, &rc);
    EXPECT_EQ(rc.right, 200);
    EXPECT_EQ(rc.bottom, 100);
    EXPECT_FALSE(preview->player().exists());
    EXPECT_TRUE(std::filesystem::equivalent(preview->file(), exeFolder / name));

    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    runLoop(100);
    EXPECT_EQ(pixel(w, 100, 50), RGB(255, 0, 0));
    EXPECT_EQ(pixel(w, 91, 46), RGB(255, 0, 0));
    EXPECT_EQ(pixel(w, 88, 50), RGB(0, 0, 0));
    EXPECT_EQ(pixel(w, 100, 43), RGB(0, 0, 0));
    saveScreenshot(w, L"preview-bitmap.bmp");

    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(shellMainWindow(), nullptr);
    EXPECT_TRUE(runLoop(200).quit);
}

TEST_F(PreviewTest, IconModeDrawsAndAMovieGetsAPlayerOverTheClientArea) {
    RuntimeSettings settings;
    CPreviewWnd* icon = CPreviewWnd::create(services, parent, settings, u"movie.swf");
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->file().empty());
    RedrawWindow(icon->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    bool drawn = false; // something other than the black background in the middle
    for (int y = 34; y < 66 && !drawn; ++y)
        for (int x = 84; x < 116 && !drawn; ++x)
            drawn = pixel(icon->hwnd(), x, y) != RGB(0, 0, 0);
    EXPECT_TRUE(drawn);
    saveScreenshot(icon->hwnd(), L"preview-icon.bmp");
    DestroyWindow(icon->hwnd());

    std::wstring movie = L"preview-" + std::to_wstring(GetCurrentProcessId()) + L".swf";
    putBeside(movie, movieBytes(MovieShape{}));
    settings.preview.selector = kPreviewMovie;
    CPreviewWnd* preview = CPreviewWnd::create(services, parent, settings, std::u16string(movie.begin(), movie.end()));
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(preview->player().exists());
    RECT rc;
    GetClientRect(preview->player().hwnd(), &rc);
    EXPECT_EQ(rc.right, 200);
    EXPECT_EQ(rc.bottom, 100);
    EXPECT_TRUE(scratch.logHas("put Movie " + narrow(preview->file())));
}
