#pragma once
// Saves what the screen shows of a window (of any process) as a 24-bit
// bitmap file: the tests' screenshots (kept in "artifacts/" below the test's
// working folder) and the demo's.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

// Saves a rectangle of a device context as a 24-bit bitmap file.
inline bool saveDcArea(HDC source, int left, int top, int width, int height, const std::filesystem::path& path) {
    HDC memory = CreateCompatibleDC(source);
    HBITMAP shot = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> pixels(size_t(stride) * height);
    GetDIBits(memory, shot, 0, UINT(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(shot);
    DeleteDC(memory);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + pixels.size());
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size()));
    return bool(out);
}

inline bool saveWindowScreenshot(HWND window, const std::filesystem::path& path) {
    RECT rc;
    if (!GetWindowRect(window, &rc))
        return false;
    HDC screen = GetDC(nullptr);
    bool saved = saveDcArea(screen, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, path);
    ReleaseDC(nullptr, screen);
    return saved;
}

// The colour the screen shows at a point of a window's client area.
inline COLORREF screenPixel(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

} // namespace testsupport
