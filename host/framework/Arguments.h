#pragma once
// Arguments and results of host class members: the class kit's readers and
// makers (script/ClassKit.h), under the host's namespace.
//
// Arguments come in an ArgList: element 0 the Integer count, then the
// arguments. Every member follows the same rules:
//   - the minimum number of arguments is tested on the 64-bit count;
//   - a string is only a String Value, taken as an ANSI copy;
//   - a number is an Integer, or a Float truncated toward zero;
//   - a boolean is a Boolean (some members also take an Integer, non-zero
//     meaning true);
//   - a function (a callback) is only a Function Value.
// A call with too few arguments or an argument of the wrong kind does
// nothing: the member leaves its neutral result (undefined unless it says
// false, null or -1) and its hook still returns 1.
//
// Results are Integer (64-bit; 32-bit results sign-extended), Boolean,
// String (from ANSI or copied from a wide buffer), null, or a new object of a
// host class bound to a global name.

#include "script/Quill.h"

namespace paloma::host {

using quill::argAt;
using quill::argCount;
using quill::booleanArg;
using quill::booleanFrom;
using quill::functionArg;
using quill::functionFrom;
using quill::hasArgs;
using quill::numberArg;
using quill::numberFrom;
using quill::stringArg;
using quill::stringFrom;

using quill::ansiTextResult;
using quill::appendElement;
using quill::arrayResult;
using quill::booleanResult;
using quill::integerResult;
using quill::integerResult32;
using quill::nullResult;
using quill::objectResult;
using quill::setField;
using quill::staticTextResult;
using quill::wideTextResult;

using quill::classBoundTo;
using quill::instanceData;
using quill::newHostObject;

} // namespace paloma::host
