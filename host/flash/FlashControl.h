#pragma once
// Calls of a Flash control's automation interface for the script classes:
// owned arguments and results, and the movie variables.

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/framework/FlashHost.h"

namespace paloma::host {

// Arguments of one call, left to right, released with the object.
class ControlArgs {
public:
    ControlArgs() = default;
    ControlArgs(const ControlArgs&) = delete;
    ControlArgs& operator=(const ControlArgs&) = delete;
    ~ControlArgs();

    ControlArgs& text(std::u16string_view text);
    ControlArgs& integer(int64_t value);
    ControlArgs& number(double value);
    ControlArgs& boolean(bool value);
    const std::vector<VARIANT>& values() const { return values_; }

private:
    std::vector<VARIANT> values_;
};

// A result, cleared with the object.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&v_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&v_); }
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// A result's text (a string result only); its integer and its number (any
// result that converts).
std::optional<std::u16string> variantText(const VARIANT& v);
std::optional<int64_t> variantInteger(const VARIANT& v);
std::optional<double> variantNumber(const VARIANT& v);

// GetVariable: the variable's text, nothing when the call fails or gives no
// text. SetVariable: the call's success.
std::optional<std::u16string> getMovieVariable(IDispatch* control, std::u16string_view name);
bool setMovieVariable(IDispatch* control, std::u16string_view name, std::u16string_view value);

} // namespace paloma::host
