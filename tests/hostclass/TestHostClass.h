#pragma once
// TestObject: a small host class built on the host framework, for tests of the
// framework itself and for end-to-end tests of the movie bridge.
//
//   new TestObject(name) / TestObject(name)  an instance; name optional
//                                            (default ""), a String
//   name      read-only String property
//   value     Integer property; a write takes a number (Integer, or Float
//             truncated), anything else is ignored
//   add(a, b) a + b (64-bit, wrapping); wrong kinds or too few: undefined
//   ping(text) fires onPing(name, text) with the instance as `this`; the
//             handler's result, or null without a handler or when it failed
//   close()   releases the object: true, false when already closed; after it
//             methods give false and properties read undefined
//   onPing    event property
//   toString  "[object TestObject]"
// Globals: $TEST_ANSWER = 42; testHostEcho(x) returns x.

#include "script/Quill.h"

// Registers TestObject, $TEST_ANSWER and testHostEcho in the engine.
void registerTestHostClass(quill::Engine& engine);

// The number of TestObject native objects alive in the process (made and not
// yet closed or collected).
int liveTestObjects();
