// Canvas: the class the program serves to other processes. Its one member,
// the read-only property Graf, hands out the program's Graf object, so that
// another program can draw into a running Quillan:
//
//   Set c = CreateObject("Quillan.Canvas")
//   c.Graf.CreateSeries
//   c.Graf.AddPointToSeries 0, 1, 2
#pragma once

#include "hosting/module.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

namespace quillan {

class Graf;

constexpr CLSID CLSID_Canvas = qrt::makeGuid("{A4E91C37-5B2D-4F80-9C16-D83B7E02F5A1}");

struct ICanvas : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{3F7B2D90-C1E4-4A65-8B39-0E6D5A91C7F2}");
    using Base = IDispatch;
    virtual HRESULT get_Graf(IDispatch** graf) = 0;

protected:
    ~ICanvas() = default;
};

class Canvas final : public qrt::ComObject<qrt::DispatchImpl<Canvas, ICanvas>> {
public:
    static const qrt::DispatchTable& dispatchTable();
    HRESULT get_Graf(IDispatch** graf) override;
};

// The Graf that Canvas objects hand out: the document's. Until one is set
// (and after it is cleared with null) Graf answers E_UNEXPECTED.
void setCanvasGraf(Graf* graf);

// The class in the program's registration (ProgIDs "Quillan.Canvas.1" and
// "Quillan.Canvas", friendly name "Canvas Class").
const qhost::ClassEntry& canvasClass();
// The class object the program registers for local-server activation.
qrt::ComPtr<IClassFactory> canvasClassFactory();

}  // namespace quillan
