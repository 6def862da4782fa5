#pragma once
// Script Values and automation variants, both ways: the one conversion that
// ActiveXObject, Enumerator, the event sinks, ScriptHost and the Flash
// objects share.
//
// Value to variant (arguments and property values without type information):
//
//     Undefined                        null variant (VT_NULL)
//     Boolean                          VARIANT_BOOL
//     Integer                          32-bit integer; one outside the 32-bit
//                                      range a double (exact up to 2^53)
//                                      instead of a truncated integer
//     Float, NaN                       double
//     String                           string (copied)
//     Array of Strings only            1-D array of strings
//     other Array                      1-D array of variants, recursively
//     ActiveXObject                    its dispatch interface
//     Date object                      date
//     StringStream                     1-D array of bytes (its content)
//     anything else (Null included)    empty variant
//
// Variant to Value:
//
//     integers of every width, error code           Integer
//     single, double, currency, decimal             Float
//     date                                          Float time value
//     string                                        String
//     Boolean                                       Boolean
//     empty / null                                  undefined / null
//     dispatch interface                            new ActiveXObject (null
//                                                   for a null interface)
//     other interface                               new ActiveXObject when it
//                                                   has a dispatch interface,
//                                                   else an Integer holding
//                                                   the address of its
//                                                   enumerator interface
//                                                   (no reference kept), else
//                                                   undefined
//     by-reference anything                         the referenced value
//     arrays                                        Arrays, element by element
//                                                   (several dimensions in
//                                                   storage order)
//
// Dates: an automation date counts days from 1899-12-30 00:00 local time;
// the whole part is the day (negative before the epoch) and the fraction
// the time of day, which stays positive before the epoch as well (-1.25 is
// 1899-12-29 06:00). The engine's time value of the epoch is that of
// `new Date(1899, 11, 30)` (local components).
//
// The portable part (dates, and which variant a Value becomes) is tested on
// every platform; the conversions themselves are Windows only.

#include <cstdint>

#include "script/Quill.h"

#ifdef _WIN32
#include <windows.h>
#include <oaidl.h>
#endif

namespace paloma::host {

// ---- portable rules -----------------------------------------------------------------

// An automation date (days, see above) as a time value, given the time value
// of the epoch; NaN when the date is not finite.
double oleDateToTimeValue(double oleDate, double epochTimeValue);
// A time value as an automation date (exact to the millisecond).
double timeValueToOleDate(double timeValue, double epochTimeValue);
// The engine's time value of 1899-12-30 00:00 local time.
double oleDateEpoch(quill::Engine& engine);

// The variant a Value becomes (the table above).
enum class VariantShape {
    Empty,
    Null,
    Boolean,
    Int32,
    Double,
    String,
    StringArray,
    VariantArray,
    Dispatch,
    Date,
    ByteArray,
};
VariantShape variantShapeOf(quill::Engine& engine, const quill::Value& v);

// Arrays longer than this do not convert (they become empty variants).
inline constexpr uint64_t kMaxVariantArrayLength = 0x0fffffff;

#ifdef _WIN32

// ---- Windows: the conversions -----------------------------------------------------

// A VARIANT owned for its scope (VariantClear at the end).
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&v_); }
    ~OwnedVariant() { VariantClear(&v_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT& operator*() { return v_; }
    VARIANT* operator->() { return &v_; }
    // Clears it for a new value (out-parameters).
    VARIANT* reset() {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// Writes the variant of `v` into `out`, which must be empty (VariantInit) or
// cleared; the caller owns what was written (VariantClear).
void valueToVariant(quill::Engine& engine, const quill::Value& v, VARIANT& out);

// Converts `v` to the variant type `type` (a declared parameter type, or
// the type of a by-reference parameter being written back): the variant of
// the table above, then changed to `type` by the automation rules. VT_VARIANT
// and VT_EMPTY keep the table's variant. Returns the status of the change;
// `out` is empty on failure.
HRESULT valueToVariantOfType(quill::Engine& engine, const quill::Value& v, VARTYPE type, VARIANT& out);

// The Value of a variant (the table above). Objects and Arrays are made on
// the engine's heap; the caller roots them if it calls into scripts while
// holding them.
quill::Value variantToValue(quill::Engine& engine, const VARIANT& v);

// Writes `v` into the referenced storage of a by-reference variant (the
// by-reference parameters of events and calls), converted to the referenced
// type. False when `target` is not by-reference or the value does not convert.
bool storeThroughReference(quill::Engine& engine, const quill::Value& v, VARIANT& target);

#endif

} // namespace paloma::host
