#pragma once
// Window and Menu: wrapping windows by handle with their script events, and
// script menus with their commands and accelerators (Windows).

#include <windows.h>

#include "script/Quill.h"

namespace paloma::host {

void registerWindowClass(quill::Engine& engine);
void registerMenuClass(quill::Engine& engine);

// A Window object for `window` (subclassing it on the first wrap); false
// (out null) when the handle names no window.
bool makeWindowObject(quill::Engine& engine, HWND window, quill::Value& out);
// The window handle of a Window object; null for anything else.
HWND windowHandleOf(quill::Engine& engine, const quill::Value& v);

// The main window's share of script menus: a command id from 47000 to
// 56999 reaches Menu.onCommand with the item's text id (true when the id is
// a script menu's); the accelerator tables of the script menus.
bool dispatchMenuCommand(unsigned id);
bool translateMenuAccelerator(MSG& msg);
// When the main window closes: the command table's icons and the
// accelerator tables go.
void releaseMenuState();

// Sliding (Window.fly2, Window.fly): the top-left corner moves from (x0, y0)
// to (x1, y1) one pixel a step (along x when x changes), `delay` ms apart.
void slideWindow(HWND window, int x0, int y0, int x1, int y1, int delay);
// fly's positions of a w x h window for a corner (0-3) and a direction
// (0 horizontal, 1 vertical, 2 both) of the work area.
void flyPositions(const RECT& area, int w, int h, int corner, int direction, POINT& inside, POINT& outside);

} // namespace paloma::host
