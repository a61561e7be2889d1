// Graf's members that forward to the graph control, and the few that work
// on their own (colours, zoom, picture names).
#include "app/core/document.h"
#include "app/core/graf.h"
#include "graph/graph_export.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"
#include "runtime/text.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace quillan {
namespace {

// The numbers a script passed as one argument: an array (a safe array or a
// script array, of numbers or variants) or a single number, possibly by
// reference. False when something in it is not a number.
bool numbersOf(const VARIANT& value, std::vector<double>& out) {
    qrt::Variant plain;
    if (FAILED(VariantCopyInd(&plain, &value))) return false;
    while (plain.vt == (VT_BYREF | VT_VARIANT)) {
        qrt::Variant inner;
        if (FAILED(VariantCopyInd(&inner, plain.pvarVal))) return false;
        plain = std::move(inner);
    }
    if (plain.vt & VT_ARRAY) {
        SAFEARRAY* array = plain.parray;
        if (!array || SafeArrayGetDim(array) != 1) return false;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            qrt::Variant element;
            VARTYPE vt = VT_EMPTY;
            SafeArrayGetVartype(array, &vt);
            if (vt == VT_VARIANT) {
                if (FAILED(SafeArrayGetElement(array, &i, &element))) return false;
            } else {
                void* slot = nullptr;
                if (FAILED(SafeArrayPtrOfIndex(array, &i, &slot))) return false;
                VARIANT view;
                VariantInit(&view);
                view.vt = vt;
                std::memcpy(&view.llVal, slot, SafeArrayGetElemsize(array));
                if (FAILED(VariantCopy(&element, &view))) return false;
            }
            qrt::Variant number;
            if (FAILED(VariantChangeType(&number, &element, 0, VT_R8))) return false;
            out.push_back(number.dblVal);
        }
        return true;
    }
    if (plain.vt == VT_EMPTY || plain.vt == VT_NULL) return false;
    qrt::Variant number;
    if (FAILED(VariantChangeType(&number, &plain, 0, VT_R8))) return false;
    out.push_back(number.dblVal);
    return true;
}

// A one-dimensional safe array of the first count values.
qrt::Variant doubleArray(const std::vector<double>& values, std::size_t count) {
    qrt::Variant array;
    SAFEARRAY* data = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count));
    if (!data) return array;
    std::copy_n(values.begin(), count, static_cast<double*>(data->pvData));
    array.vt = VT_ARRAY | VT_R8;
    array.parray = data;
    return array;
}

// What a script passed, in words, for a warning: "an array of 5 numbers",
// "a string".
std::u16string describeArgument(const VARIANT& value) {
    const VARIANT* v = &value;
    while (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    const VARTYPE type = v->vt & ~VT_BYREF;
    if (type & VT_ARRAY) {
        SAFEARRAY* array = (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray;
        if (!array) return u"an empty array";
        if (SafeArrayGetDim(array) != 1) return u"an array of more than one dimension";
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        return u"an array of " + qrt::decodeAnsi(std::to_string(static_cast<long long>(upper) - lower + 1)) +
               u" values";
    }
    switch (type) {
    case VT_EMPTY: return u"nothing (Empty)";
    case VT_NULL: return u"Null";
    case VT_BSTR: return u"a string";
    case VT_DISPATCH:
    case VT_UNKNOWN: return u"an object";
    case VT_BOOL: return u"a Boolean";
    default: return u"a single value";
    }
}

bool isNumberType(VARTYPE type) {
    switch (type) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: return true;
    default: return false;
    }
}

// The elements of a one-dimensional array of numbers, or -1: what the graph
// control accepts as the points of a series.
long long numberArrayLength(const VARIANT& value) {
    const VARIANT* v = &value;
    for (int depth = 0; v && v->vt == (VT_BYREF | VT_VARIANT); ++depth) v = depth < 16 ? v->pvarVal : nullptr;
    if (!v || !(v->vt & VT_ARRAY)) return -1;
    SAFEARRAY* array = (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    if (!array || array->cDims != 1) return -1;
    const ULONG count = array->rgsabound[0].cElements;
    if (isNumberType(array->vt)) return count;
    if (array->vt != VT_VARIANT) return -1;
    const auto* elements = static_cast<const VARIANT*>(array->pvData);
    for (ULONG i = 0; i < count; ++i) {
        const VARIANT* e = &elements[i];
        for (int depth = 0; e && e->vt == (VT_BYREF | VT_VARIANT); ++depth) e = depth < 16 ? e->pvarVal : nullptr;
        if (!e || !isNumberType(static_cast<VARTYPE>(e->vt & ~VT_BYREF)) || ((e->vt & VT_BYREF) && !e->byref))
            return -1;
    }
    return count;
}

bool usablePointArrays(const VARIANT& x, const VARIANT& y) {
    const long long n = numberArrayLength(x);
    return n > 0 && n == numberArrayLength(y);
}

std::u16string number(long long value) { return qrt::decodeAnsi(std::to_string(value)); }

}  // namespace

void Graf::warn(std::u16string text) {
    if (m_host) m_host->reportWarning(std::move(text));
}

void Graf::warnNoSeries(std::u16string_view member, LONG series) {
    if (seriesExists(series)) return;  // the count known here was out of date
    const LONG count = knownSeriesCount();
    std::u16string text = std::u16string(member) + u": there is no series " + number(series);
    text += count == 0 ? u" (the graph has no series yet; call CreateSeries first)"
                       : u" (the series are numbered 0 to " + number(count - 1) + u")";
    warn(text + u"; nothing was done");
}

// Forwarders do nothing without a graph control.
#define QUILLAN_WITH_GRAPH(g)         \
    const CVigraf1* g = graph();      \
    if (!g) return S_OK

HRESULT Graf::ReDrawGraph() {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::ReDrawGraph);
}

HRESULT Graf::CreateSeries() {
    QUILLAN_WITH_GRAPH(g);
    m_seriesCount = -1;
    return g->method(vigraf::CreateSeries);
}

HRESULT Graf::AddPointToSeries(LONG series, double x, double y) {
    QUILLAN_WITH_GRAPH(g);
    // The control ignores a series that does not exist; the known count
    // tells without another call.
    if (static_cast<ULONG>(series) >= static_cast<ULONG>(knownSeriesCount())) warnNoSeries(u"AddPointToSeries", series);
    return g->method(vigraf::AddPointToSeries, {argLong(series), argDouble(x), argDouble(y)});
}

HRESULT Graf::SetBox(double x, double y, double w, double h) {
    QUILLAN_WITH_GRAPH(g);
    // The control's SetBox takes the four values behind one by-reference
    // double, which a late-bound call cannot carry safely; its SetBox_1
    // takes them as four values.
    if (!(w > 0 && h > 0)) warn(u"SetBox: the width and height must be greater than 0; the box was not changed");
    return g->method(vigraf::SetBox_1, {argDouble(x), argDouble(y), argDouble(w), argDouble(h)});
}

HRESULT Graf::RecalcSeries() {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::RecalcSeries);
}

LONG Graf::knownSeriesCount() {
    if (m_seriesCount < 0) {
        LONG count = 0;
        if (const CVigraf1* g = graph()) g->getLong(vigraf::CountSeries, count);
        m_seriesCount = count;
    }
    return m_seriesCount;
}

bool Graf::seriesExists(LONG series) {
    if (series >= 0 && series < knownSeriesCount()) return true;
    m_seriesCount = -1;  // read it again: the graph may have changed behind us
    return series >= 0 && series < knownSeriesCount();
}

HRESULT Graf::CountSeries(LONG* result) {
    *result = 0;
    QUILLAN_WITH_GRAPH(g);
    return g->getLong(vigraf::CountSeries, *result);
}

HRESULT Graf::SetPoints(LONG series, LONG count, VARIANT x, VARIANT y) {
    QUILLAN_WITH_GRAPH(g);
    if (count < 0) return E_INVALIDARG;
    std::vector<double> xs, ys;
    if (!numbersOf(x, xs) || !numbersOf(y, ys)) return DISP_E_TYPEMISMATCH;
    // Never more than the script supplied.
    if (count == 0 || static_cast<std::size_t>(count) > xs.size() || static_cast<std::size_t>(count) > ys.size()) {
        warn(u"SetPoints: the count " + number(count) + u" is not between 1 and the number of values given (" +
             number(static_cast<long long>(xs.size())) + u" x, " + number(static_cast<long long>(ys.size())) +
             u" y); nothing was set");
        return S_FALSE;
    }
    HRESULT hr;
    if (count == 1) {
        hr = g->method(vigraf::SetPoints, {argLong(series), argLong(1), refDouble(&xs[0]), refDouble(&ys[0])});
    } else {
        const qrt::Variant xArray = doubleArray(xs, count);
        const qrt::Variant yArray = doubleArray(ys, count);
        if (xArray.vt == VT_EMPTY || yArray.vt == VT_EMPTY) return E_OUTOFMEMORY;
        hr = g->method(vigraf::SetPointVar, {argLong(series), argVariant(xArray), argVariant(yArray)});
    }
    if (!seriesExists(series)) warnNoSeries(u"SetPoints", series);
    return hr;
}

HRESULT Graf::SetPointVar(LONG series, VARIANT x, VARIANT y) {
    QUILLAN_WITH_GRAPH(g);
    if (!seriesExists(series))
        warnNoSeries(u"SetPointVar", series);
    else if (!usablePointArrays(x, y))
        warn(u"SetPointVar: x and y must be arrays of numbers of the same length, at least 1 (x is " +
             describeArgument(x) + u", y is " + describeArgument(y) + u"); nothing was set");
    return g->method(vigraf::SetPointVar, {argLong(series), argVariant(x), argVariant(y)});
}

HRESULT Graf::SetPropertySeries(LONG series, LONG alpha, LONG color) {
    QUILLAN_WITH_GRAPH(g);
    if (!seriesExists(series)) warnNoSeries(u"SetPropertySeries", series);
    return g->method(vigraf::SetPropertySeries, {argLong(series), argLong(alpha), argUnsigned(static_cast<ULONG>(color))});
}

HRESULT Graf::GetPropertySeries(LONG series, LONG* alpha, LONG* color) {
    QUILLAN_WITH_GRAPH(g);
    ULONG colour = static_cast<ULONG>(*color);
    const HRESULT hr = g->method(vigraf::GetPropertySeries, {argLong(series), refLong(alpha), refUnsigned(&colour)});
    *color = static_cast<LONG>(colour);
    if (!seriesExists(series)) warnNoSeries(u"GetPropertySeries", series);
    return hr;
}

HRESULT Graf::RemoveData(LONG series) {
    QUILLAN_WITH_GRAPH(g);
    if (!seriesExists(series)) warnNoSeries(u"RemoveData", series);
    return g->method(vigraf::RemoveData, {argLong(series)});
}

HRESULT Graf::RemoveSeries(LONG series) {
    QUILLAN_WITH_GRAPH(g);
    if (!seriesExists(series)) warnNoSeries(u"RemoveSeries", series);
    m_seriesCount = -1;
    return g->method(vigraf::RemoveSeries, {argLong(series)});
}

HRESULT Graf::ZoomGraf(double x, double y, double w, double h) {
    QUILLAN_WITH_GRAPH(g);
    ScratchImageFile scratch;
    if (!scratch.stream()) return S_OK;  // no scratch file: nothing happens
    HRESULT hr = g->method(vigraf::Magnifier, {argDouble(x), argDouble(y), argDouble(w), argDouble(h)});
    if (FAILED(hr)) return hr;
    // The control takes the stream in a dispatch-typed parameter and asks it for IStream.
    return g->method(vigraf::GetZoomImage, {argDispatch(reinterpret_cast<IDispatch*>(scratch.stream()))});
}

HRESULT Graf::graphPicture(std::string& jpeg) {
    jpeg.clear();
    const CVigraf1* g = graph();
    if (!g) return S_FALSE;
    ScratchImageFile scratch;
    IStream* stream = scratch.stream();
    if (!stream) return STG_E_CANTSAVE;
    HRESULT hr = g->method(vigraf::SavePicture, {argDispatch(reinterpret_cast<IDispatch*>(stream))});
    if (FAILED(hr)) return hr;
    // What the control wrote, from the stream's start.
    if (FAILED(hr = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr))) return hr;
    char buffer[65536];
    for (;;) {
        ULONG got = 0;
        if (FAILED(hr = stream->Read(buffer, sizeof buffer, &got))) return hr;
        if (got == 0) break;
        jpeg.append(buffer, got);
    }
    return S_OK;
}

HRESULT Graf::exportPicture(std::u16string_view path, LONG format, std::u16string& reason) {
    reason.clear();
    const CVigraf1* g = graph();
    if (!g) return S_FALSE;
    qrt::ComPtr<IGraphExport> exporter;
    if (!g->control() || FAILED(g->control()->QueryInterface(IGraphExport::IID, exporter.outVoid()))) {
        reason = u"the graph control cannot export pictures";
        return E_NOINTERFACE;
    }
    qrt::clearErrorInfo();
    const HRESULT hr = exporter->ExportPicture(qrt::Bstr(path).get(), format, 0, 0);
    if (FAILED(hr)) {
        std::u16string source;
        qrt::takeErrorInfo(source, reason);
        if (reason.empty()) reason = qrt::statusText(hr);
    }
    return hr;
}

HRESULT Graf::SetImage(LONG, LONG, LONG, LONG, float) {
    graph();
    return S_OK;
}

HRESULT Graf::Magnifier(double x, double y, double w, double h) {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::Magnifier, {argDouble(x), argDouble(y), argDouble(w), argDouble(h)});
}

HRESULT Graf::SetZoomRect(LONG x, LONG y, LONG w, LONG h) {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::SetZoomRect, {argLong(x), argLong(y), argLong(w), argLong(h)});
}

HRESULT Graf::SetAutoZoom(LONG value) {
    QUILLAN_WITH_GRAPH(g);
    return g->putLong(vigraf::AutoZoom, VT_I4, value);
}

HRESULT Graf::Clear() {
    QUILLAN_WITH_GRAPH(g);
    m_seriesCount = -1;
    return g->method(vigraf::RemoveAll);
}

HRESULT Graf::ColorRGB(LONG red, LONG green, LONG blue, LONG* result) {
    *result = (red & 0xFF) + 256 * (green & 0xFF) + 65536 * (blue & 0xFF);
    return S_OK;
}

HRESULT Graf::AddFrame(BSTR file) {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::AddFrame, {argString(file)});
}

HRESULT Graf::XAddPointToSeries(VARIANT, VARIANT, VARIANT) { return S_OK; }

HRESULT Graf::LoadStreamFromDocToFile(BSTR file, BSTR stream) {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::LoadStreamFromDocToFile, {argString(file), argString(stream)});
}

HRESULT Graf::LoadStreamFromDoc(BSTR stream, VARIANT target) {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::LoadStreamFromDoc, {argString(stream), argVariant(target)});
}

HRESULT Graf::GetBox(double* x, double* y, double* w, double* h) {
    QUILLAN_WITH_GRAPH(g);
    return g->method(vigraf::GetBox, {refDouble(x), refDouble(y), refDouble(w), refDouble(h)});
}

HRESULT Graf::DrawPoints(LONG series, LONG size) {
    QUILLAN_WITH_GRAPH(g);
    if (!seriesExists(series)) warnNoSeries(u"DrawPoints", series);
    return g->method(vigraf::DrawPoints, {argLong(series), argLong(size)});
}

HRESULT Graf::PutBkgrColor(LONG color) {
    QUILLAN_WITH_GRAPH(g);
    return g->putLong(vigraf::BkgrColor, VT_UI4, color);
}

HRESULT Graf::PutIsViewAxis(LONG value) {
    QUILLAN_WITH_GRAPH(g);
    return g->putLong(vigraf::ViewAxis, VT_UI4, value);
}

HRESULT Graf::GetBkgrColor(LONG* result) {
    *result = -1;
    QUILLAN_WITH_GRAPH(g);
    return g->getLong(vigraf::BkgrColor, *result);
}

HRESULT Graf::GetIsViewAxis(LONG* result) {
    *result = -1;
    QUILLAN_WITH_GRAPH(g);
    return g->getLong(vigraf::ViewAxis, *result);
}

HRESULT Graf::FrameInFrameEx(BSTR file, LONG x, LONG y, LONG alpha) {
    QUILLAN_WITH_GRAPH(g);
    qrt::Bstr resolved(ResolvePicturePath(qrt::bstrView(file)));
    return g->method(vigraf::FrameInFrameEx, {argString(resolved.get()), argLong(x), argLong(y), argLong(alpha)});
}

HRESULT Graf::FrameInFrame(BSTR file, LONG x, LONG y, LONG w, LONG h, LONG) {
    QUILLAN_WITH_GRAPH(g);
    // The control's FrameInFrame takes the picture and its rectangle.
    qrt::Bstr resolved(ResolvePicturePath(qrt::bstrView(file)));
    return g->method(vigraf::FrameInFrame, {argString(resolved.get()), argLong(x), argLong(y), argLong(w), argLong(h)});
}

HRESULT Graf::SetAxisTitles(BSTR xTitle, BSTR yTitle) {
    QUILLAN_WITH_GRAPH(g);
    // A title is style codes and text separated by "@"; text alone is read
    // as a style code and shows nothing.
    for (const auto& [title, axis] : {std::pair{xTitle, u"x"}, std::pair{yTitle, u"y"}}) {
        const std::u16string_view text = qrt::bstrView(title);
        if (!text.empty() && text.find(u'@') == std::u16string_view::npos)
            warn(u"SetAxisTitles: the " + std::u16string(axis) + u" title \"" + std::u16string(text) +
                 u"\" has no style code, so nothing is shown; write it as \"@ln@" + std::u16string(text) + u"\"");
    }
    HRESULT hr = g->invoke(vigraf::X_axis, DISPATCH_PROPERTYPUT, {argString(xTitle)});
    if (FAILED(hr)) return hr;
    return g->invoke(vigraf::Y_axis, DISPATCH_PROPERTYPUT, {argString(yTitle)});
}

#undef QUILLAN_WITH_GRAPH

}  // namespace quillan
