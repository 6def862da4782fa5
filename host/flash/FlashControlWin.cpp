// Calls of a Flash control's automation interface.
#include "host/flash/FlashControl.h"

namespace paloma::host {

ControlArgs::~ControlArgs() {
    for (VARIANT& v : values_)
        VariantClear(&v);
}

ControlArgs& ControlArgs::text(std::u16string_view text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), UINT(text.size()));
    values_.push_back(v);
    return *this;
}

ControlArgs& ControlArgs::integer(int64_t value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = LONG(value);
    values_.push_back(v);
    return *this;
}

ControlArgs& ControlArgs::number(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    values_.push_back(v);
    return *this;
}

ControlArgs& ControlArgs::boolean(bool value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    values_.push_back(v);
    return *this;
}

std::optional<std::u16string> variantText(const VARIANT& v) {
    if (v.vt != VT_BSTR || !v.bstrVal)
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(v.bstrVal), SysStringLen(v.bstrVal));
}

std::optional<int64_t> variantInteger(const VARIANT& v) {
    if (v.vt == VT_EMPTY)
        return std::nullopt;
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_I4)))
        return std::nullopt;
    return copy.lVal;
}

std::optional<double> variantNumber(const VARIANT& v) {
    if (v.vt == VT_EMPTY)
        return std::nullopt;
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_R8)))
        return std::nullopt;
    return copy.dblVal;
}

std::optional<std::u16string> getMovieVariable(IDispatch* control, std::u16string_view name) {
    ControlArgs args;
    args.text(name);
    OwnedVariant result;
    if (FAILED(dispatchCall(control, L"GetVariable", args.values(), result.get())))
        return std::nullopt;
    return variantText(*result.get());
}

bool setMovieVariable(IDispatch* control, std::u16string_view name, std::u16string_view value) {
    ControlArgs args;
    args.text(name).text(value);
    return SUCCEEDED(dispatchCall(control, L"SetVariable", args.values(), nullptr));
}

} // namespace paloma::host
