#pragma once
// The preview window of a "/p <window>" run: a child covering the client area
// of the display settings' preview. It shows, by the preview selector of the
// runtime settings, the application's icon (0), the packaged movie (1) or the
// archive file the preview path names (2 and above): a movie plays in a
// player control over the client area, a ".bmp" is drawn centred where it is
// smaller than the window and filling it where not. Being the main window of
// the run, its destruction (its parent destroying it) ends the run.

#include "app/RuntimeSettings.h"
#include "app/shell/MainWndServices.h"
#include "app/shell/PlayerWindow.h"
#include "host/framework/WindowBase.h"

#include <string>

namespace paloma::shell {

class CPreviewWnd final : public host::WindowBase, private FlashEvents {
public:
    static constexpr int kPlayerId = 1000;
    static constexpr wchar_t kClassName[] = L"PalomaPreviewWnd";

    // Creates the preview as a visible child of `parent` over its client
    // area. `moviePath` is the packaged movie's archive path. Null when the
    // window cannot be created; the object deletes itself with its window.
    static CPreviewWnd* create(ShellServices& services, HWND parent, const RuntimeSettings& settings,
                               const std::u16string& moviePath);

    PlayerWindow& player() { return player_; }
    // The resolved file shown: a movie or bitmap; empty for the icon.
    const std::wstring& file() const { return file_; }

private:
    CPreviewWnd(ShellServices& services, const RuntimeSettings& settings, const std::u16string& moviePath)
        : services_(services), settings_(settings), moviePath_(moviePath), player_(*this) {}

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void onFinalMessage() override;
    void onCreate();
    void paint(HDC dc);

    void onFSCommand(const std::wstring&, const std::wstring&) override {}
    void onFlashCall(const std::wstring&) override {}

    ShellServices& services_;
    RuntimeSettings settings_;
    std::u16string moviePath_;
    PlayerWindow player_;
    std::wstring file_;
};

} // namespace paloma::shell
