#pragma once
// FlashPlayer, MovieClip and Form: the Flash control of the player window
// for scripts, paths into the movie's variables, and extra windows that
// each play a movie of their own (Windows).

#include "script/Quill.h"

namespace paloma::host {

void registerFlashPlayerClass(quill::Engine& engine);
void registerMovieClipClass(quill::Engine& engine);
void registerFormClass(quill::Engine& engine);

} // namespace paloma::host
