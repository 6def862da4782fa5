// Script Values and automation variants, both ways (the tables are in the
// header). Dates and the choice of variant are portable; the rest is built
// on the automation library and exists only on Windows.
#include "host/com/VariantConvert.h"

#include <cmath>
#include <limits>
#include <vector>

#include "host/files/StreamValues.h"

#ifdef _WIN32
#include <oleauto.h>

#include "base/TextCodec.h"
#include "host/com/ActiveXObject.h"
#include "host/framework/WinHandles.h"
#endif

namespace paloma::host {

using quill::Engine;
using quill::Value;

namespace {

constexpr double kMsPerDay = 86400000.0;

// The time value a Date method returns (Integer or Float); NaN otherwise.
double timeOf(const Value& v) {
    if (v.isInteger())
        return double(v.asInteger());
    if (v.isFloat())
        return v.asFloat();
    return std::numeric_limits<double>::quiet_NaN();
}

// The time value of a Date object, NaN when it has none.
double dateTime(Engine& engine, Value date) {
    Value args[1] = {Value::integer(0)};
    if (!quill::callMethodByName(engine, date, "getTime", quill::ArgList{args}))
        return std::numeric_limits<double>::quiet_NaN();
    return timeOf(engine.lastResult);
}

bool isDate(Engine& engine, const Value& v) { return v.isNative() && quill::isInstanceOf(v, engine, "Date"); }

bool allStrings(const quill::ArrayBody* array) {
    for (uint64_t i = 0; i < array->length; ++i) {
        Value element;
        if (!quill::arrayGet(array, i, element) || !element.isString())
            return false;
    }
    return true;
}

} // namespace

// ---- portable rules -----------------------------------------------------------------

double oleDateToTimeValue(double oleDate, double epochTimeValue) {
    if (!std::isfinite(oleDate) || !std::isfinite(epochTimeValue))
        return std::numeric_limits<double>::quiet_NaN();
    // The whole part is the day, the fraction the time of that day, positive
    // on both sides of the epoch.
    double day = std::trunc(oleDate);
    double timeOfDay = std::fabs(oleDate - day);
    return epochTimeValue + std::round((day + timeOfDay) * kMsPerDay);
}

double timeValueToOleDate(double timeValue, double epochTimeValue) {
    double ms = std::round(timeValue - epochTimeValue);
    if (!std::isfinite(ms))
        return 0;
    double day = std::floor(ms / kMsPerDay);
    double timeOfDay = (ms - day * kMsPerDay) / kMsPerDay;
    return day >= 0 ? day + timeOfDay : day - timeOfDay;
}

double oleDateEpoch(Engine& engine) {
    Value args[4] = {Value::integer(3), Value::integer(1899), Value::integer(11), Value::integer(30)};
    if (!quill::constructByName(engine, "Date", quill::ArgList{args}))
        return std::numeric_limits<double>::quiet_NaN();
    Value date = engine.lastResult; // the call below replaces lastResult
    quill::ValueRoot root(engine, date);
    return dateTime(engine, date);
}

VariantShape variantShapeOf(Engine& engine, const Value& v) {
    switch (v.kind) {
    case quill::Kind::Undefined: return VariantShape::Null;
    case quill::Kind::Boolean: return VariantShape::Boolean;
    case quill::Kind::Integer:
        return v.asInteger() >= INT32_MIN && v.asInteger() <= INT32_MAX ? VariantShape::Int32
                                                                        : VariantShape::Double;
    case quill::Kind::Float:
    case quill::Kind::NaN: return VariantShape::Double;
    case quill::Kind::String: return VariantShape::String;
    case quill::Kind::Array:
        if (v.asArray()->length > kMaxVariantArrayLength)
            return VariantShape::Empty;
        return allStrings(v.asArray()) ? VariantShape::StringArray : VariantShape::VariantArray;
    case quill::Kind::Native:
        if (isDate(engine, v))
            return VariantShape::Date;
        if (stringStreamOf(engine, v))
            return VariantShape::ByteArray;
#ifdef _WIN32
        if (dispatchOf(engine, v))
            return VariantShape::Dispatch;
#endif
        return VariantShape::Empty;
    default: return VariantShape::Empty;
    }
}

#ifdef _WIN32

// ---- Windows: Value to variant --------------------------------------------------------

namespace {

BSTR newBstr(std::u16string_view text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), UINT(text.size()));
}

// A 1-D array of `count` elements of `type`, filled by `fill(index, element)`.
template <class Fill>
SAFEARRAY* newVector(VARTYPE type, uint64_t count, Fill fill) {
    SAFEARRAY* array = SafeArrayCreateVector(type, 0, ULONG(count));
    if (!array)
        return nullptr;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        return nullptr;
    }
    for (uint64_t i = 0; i < count; ++i)
        fill(i, data);
    SafeArrayUnaccessData(array);
    return array;
}

} // namespace

void valueToVariant(Engine& engine, const Value& v, VARIANT& out) {
    VariantInit(&out);
    switch (variantShapeOf(engine, v)) {
    case VariantShape::Empty: break;
    case VariantShape::Null: out.vt = VT_NULL; break;
    case VariantShape::Boolean:
        out.vt = VT_BOOL;
        out.boolVal = v.asBoolean() ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VariantShape::Int32:
        out.vt = VT_I4;
        out.lVal = LONG(v.asInteger());
        break;
    case VariantShape::Double:
        out.vt = VT_R8;
        out.dblVal = v.isInteger() ? double(v.asInteger())
                     : v.isFloat() ? v.asFloat()
                                   : std::numeric_limits<double>::quiet_NaN();
        break;
    case VariantShape::String:
        if (BSTR text = newBstr(quill::stringToWide(v.asString()))) {
            out.vt = VT_BSTR;
            out.bstrVal = text;
        }
        break;
    case VariantShape::StringArray: {
        const quill::ArrayBody* array = v.asArray();
        SAFEARRAY* sa = newVector(VT_BSTR, array->length, [&](uint64_t i, void* data) {
            Value element;
            quill::arrayGet(array, i, element);
            static_cast<BSTR*>(data)[i] = newBstr(quill::stringToWide(element.asString()));
        });
        if (sa) {
            out.vt = VT_ARRAY | VT_BSTR;
            out.parray = sa;
        }
        break;
    }
    case VariantShape::VariantArray: {
        const quill::ArrayBody* array = v.asArray();
        // Elements are converted first: converting one may call into the
        // engine (Dates), which must not happen with the array's data locked.
        std::vector<OwnedVariant> elements(array->length);
        for (uint64_t i = 0; i < array->length; ++i) {
            Value element;
            if (quill::arrayGet(array, i, element))
                valueToVariant(engine, element, *elements[i]);
        }
        SAFEARRAY* sa = newVector(VT_VARIANT, array->length, [&](uint64_t i, void* data) {
            VARIANT* slot = static_cast<VARIANT*>(data) + i;
            *slot = *elements[i]; // moved: the owner is emptied below
            VariantInit(elements[i].get());
        });
        if (sa) {
            out.vt = VT_ARRAY | VT_VARIANT;
            out.parray = sa;
        }
        break;
    }
    case VariantShape::Dispatch:
        out.vt = VT_DISPATCH;
        out.pdispVal = dispatchOf(engine, v);
        out.pdispVal->AddRef();
        break;
    case VariantShape::Date: {
        double t = dateTime(engine, v);
        double epoch = oleDateEpoch(engine);
        if (std::isfinite(t) && std::isfinite(epoch)) {
            out.vt = VT_DATE;
            out.date = timeValueToOleDate(t, epoch);
        }
        break;
    }
    case VariantShape::ByteArray: {
        const std::vector<uint8_t>& content = stringStreamOf(engine, v)->content();
        SAFEARRAY* sa = newVector(VT_UI1, content.size(), [&](uint64_t i, void* data) {
            static_cast<uint8_t*>(data)[i] = content[i];
        });
        if (sa) {
            out.vt = VT_ARRAY | VT_UI1;
            out.parray = sa;
        }
        break;
    }
    }
}

HRESULT valueToVariantOfType(Engine& engine, const Value& v, VARTYPE type, VARIANT& out) {
    valueToVariant(engine, v, out);
    type = VARTYPE(type & ~VT_BYREF);
    if (type == VT_VARIANT || type == VT_EMPTY || out.vt == type)
        return S_OK;
    // A date wanted from a number: the number is a time value, as everywhere
    // in the engine (the automation rules would read it as a day count).
    if (type == VT_DATE && (out.vt == VT_I4 || out.vt == VT_R8)) {
        double t = out.vt == VT_I4 ? double(out.lVal) : out.dblVal;
        double epoch = oleDateEpoch(engine);
        out.vt = VT_DATE;
        out.date = timeValueToOleDate(t, epoch);
        return std::isfinite(epoch) ? S_OK : DISP_E_TYPEMISMATCH;
    }
    HRESULT status = VariantChangeType(&out, &out, 0, type);
    if (FAILED(status))
        VariantClear(&out);
    return status;
}

// ---- Windows: variant to Value --------------------------------------------------------

namespace {

Value fromArray(Engine& engine, SAFEARRAY* sa, VARTYPE elementType) {
    Value result = quill::newArray(engine);
    if (!sa)
        return result;
    UINT dims = SafeArrayGetDim(sa);
    uint64_t total = dims ? 1 : 0;
    for (UINT d = 1; d <= dims; ++d) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(sa, d, &lower);
        SafeArrayGetUBound(sa, d, &upper);
        total *= upper >= lower ? uint64_t(int64_t(upper) - lower + 1) : 0;
    }
    if (total == 0 || total > kMaxVariantArrayLength)
        return result;
    if (elementType == VT_EMPTY) {
        VARTYPE declared = VT_EMPTY;
        if (FAILED(SafeArrayGetVartype(sa, &declared)))
            return result;
        elementType = declared;
    }
    UINT size = SafeArrayGetElemsize(sa);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(sa, &data)))
        return result;
    quill::arrayReserve(engine, result.asArray(), total);
    for (uint64_t i = 0; i < total; ++i) {
        auto* at = static_cast<uint8_t*>(data) + i * size;
        Value element;
        if (elementType == VT_VARIANT) {
            element = variantToValue(engine, *reinterpret_cast<VARIANT*>(at));
        } else {
            // A variant by reference to the element: the same conversion.
            VARIANT ref;
            VariantInit(&ref);
            ref.vt = VARTYPE(elementType | VT_BYREF);
            ref.byref = at;
            element = variantToValue(engine, ref);
        }
        quill::arrayPush(engine, result.asArray(), element);
    }
    SafeArrayUnaccessData(sa);
    return result;
}

Value fromInterface(Engine& engine, IUnknown* unknown) {
    if (!unknown)
        return Value::null();
    ComPtr<IDispatch> dispatch;
    if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, dispatch.putVoid())) && dispatch)
        return newActiveXObject(engine, dispatch.get());
    ComPtr<IEnumVARIANT> enumerator;
    if (SUCCEEDED(unknown->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid())) && enumerator)
        return Value::integer(int64_t(reinterpret_cast<intptr_t>(enumerator.get())));
    return Value::undefined();
}

} // namespace

Value variantToValue(Engine& engine, const VARIANT& v) {
    VARTYPE type = v.vt;
    if (type & VT_ARRAY) {
        SAFEARRAY* sa = (type & VT_BYREF) ? (v.pparray ? *v.pparray : nullptr) : v.parray;
        return fromArray(engine, sa, VARTYPE(type & VT_TYPEMASK));
    }
    if (type == (VT_BYREF | VT_VARIANT))
        return v.pvarVal ? variantToValue(engine, *v.pvarVal) : Value::undefined();
    if (type & VT_BYREF) {
        if (!v.byref)
            return Value::undefined();
        // The referenced value, read through a copy without the reference.
        OwnedVariant plain;
        if (FAILED(VariantCopyInd(plain.get(), const_cast<VARIANT*>(&v))))
            return Value::undefined();
        return variantToValue(engine, *plain);
    }
    switch (type) {
    case VT_EMPTY: return Value::undefined();
    case VT_NULL: return Value::null();
    case VT_I1: return Value::integer(v.cVal);
    case VT_UI1: return Value::integer(v.bVal);
    case VT_I2: return Value::integer(v.iVal);
    case VT_UI2: return Value::integer(v.uiVal);
    case VT_I4: return Value::integer(v.lVal);
    case VT_UI4: return Value::integer(v.ulVal);
    case VT_INT: return Value::integer(v.intVal);
    case VT_UINT: return Value::integer(v.uintVal);
    case VT_I8: return Value::integer(v.llVal);
    case VT_UI8:
        return v.ullVal <= uint64_t(INT64_MAX) ? Value::integer(int64_t(v.ullVal))
                                               : quill::floatResult(double(v.ullVal));
    case VT_ERROR: return Value::integer(v.scode);
    case VT_R4: return quill::floatResult(v.fltVal);
    case VT_R8: return quill::floatResult(v.dblVal);
    case VT_CY: return quill::floatResult(double(v.cyVal.int64) / 10000.0);
    case VT_DECIMAL: {
        double d = 0;
        VarR8FromDec(const_cast<DECIMAL*>(&v.decVal), &d);
        return quill::floatResult(d);
    }
    case VT_DATE: return quill::floatResult(oleDateToTimeValue(v.date, oleDateEpoch(engine)));
    case VT_BSTR:
        return quill::wideTextResult(engine, reinterpret_cast<const char16_t*>(v.bstrVal),
                                     v.bstrVal ? SysStringLen(v.bstrVal) : 0);
    case VT_BOOL: return Value::boolean(v.boolVal != VARIANT_FALSE);
    case VT_DISPATCH: return v.pdispVal ? newActiveXObject(engine, v.pdispVal) : Value::null();
    case VT_UNKNOWN: return fromInterface(engine, v.punkVal);
    default: return Value::undefined();
    }
}

bool storeThroughReference(Engine& engine, const Value& v, VARIANT& target) {
    if (!(target.vt & VT_BYREF) || !target.byref)
        return false;
    VARTYPE referenced = VARTYPE(target.vt & ~VT_BYREF);
    if (referenced == VT_VARIANT) {
        OwnedVariant converted;
        valueToVariant(engine, v, *converted);
        if (FAILED(VariantClear(target.pvarVal)))
            return false;
        *target.pvarVal = *converted; // moved
        VariantInit(converted.get());
        return true;
    }
    if (referenced & VT_ARRAY)
        return false;
    OwnedVariant converted;
    if (FAILED(valueToVariantOfType(engine, v, referenced, *converted)))
        return false;
    switch (referenced) {
    case VT_I1: *target.pcVal = converted->cVal; break;
    case VT_UI1: *target.pbVal = converted->bVal; break;
    case VT_I2: *target.piVal = converted->iVal; break;
    case VT_UI2: *target.puiVal = converted->uiVal; break;
    case VT_I4: *target.plVal = converted->lVal; break;
    case VT_UI4: *target.pulVal = converted->ulVal; break;
    case VT_INT: *target.pintVal = converted->intVal; break;
    case VT_UINT: *target.puintVal = converted->uintVal; break;
    case VT_I8: *target.pllVal = converted->llVal; break;
    case VT_UI8: *target.pullVal = converted->ullVal; break;
    case VT_R4: *target.pfltVal = converted->fltVal; break;
    case VT_R8: *target.pdblVal = converted->dblVal; break;
    case VT_CY: *target.pcyVal = converted->cyVal; break;
    case VT_DATE: *target.pdate = converted->date; break;
    case VT_BOOL: *target.pboolVal = converted->boolVal; break;
    case VT_ERROR: *target.pscode = converted->scode; break;
    case VT_DECIMAL: *target.pdecVal = converted->decVal; break;
    case VT_BSTR:
        SysFreeString(*target.pbstrVal);
        *target.pbstrVal = converted->bstrVal; // moved
        converted->vt = VT_EMPTY;
        break;
    case VT_DISPATCH:
        if (*target.ppdispVal)
            (*target.ppdispVal)->Release();
        *target.ppdispVal = converted->pdispVal; // moved
        converted->vt = VT_EMPTY;
        break;
    case VT_UNKNOWN:
        if (*target.ppunkVal)
            (*target.ppunkVal)->Release();
        *target.ppunkVal = converted->punkVal; // moved
        converted->vt = VT_EMPTY;
        break;
    default: return false;
    }
    return true;
}

#endif

} // namespace paloma::host
