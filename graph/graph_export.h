// Pictures of the graph in the formats people publish graphs in, for the
// program that hosts the graph control (scripts do not see this interface:
// it is reached by QueryInterface on the control).
#pragma once

#include "runtime/dispatch.h"
#include "runtime/storage.h"

// The picture formats of IGraphExport.
enum GraphPictureFormat : LONG {
    GraphPictureJpeg = 0,  // the control's JPEG, as SavePicture writes it
    GraphPicturePng = 1,   // the same picture without loss
    GraphPictureSvg = 2,   // vector: lines as paths, text as text
    GraphPicturePdf = 3,   // vector, one page the size of the picture
};

// Writes the graph as a picture file. Failures come back as failing status
// codes with a description for the caller (qrt::takeErrorInfo) that names
// the file and says why; no exception leaves the library.
struct IGraphExport : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{6C0E2B7D-5B3A-4F0B-9D3E-2A7F41C8B915}");
    using Base = IUnknown;

    // Writes the picture to the file at path. The file is written beside
    // the target under another name and renamed over it once complete, so
    // a failure leaves the target as it was and no partial file.
    //
    // Size: width and height 0 take the size of the last paint. JPEG and PNG
    // at that size are the picture the window shows (SavePicture's picture);
    // another size draws the graph afresh at that size with the same layout
    // rules. SVG and PDF draw the graph with the layout of a picture of that
    // size, one unit a pixel at 96 dots per inch. Sizes from 1 to 16384.
    virtual HRESULT ExportPicture(BSTR path, LONG format, LONG width, LONG height) = 0;

    // The same picture written into the stream at its seek pointer (neither
    // rewound nor truncated); nothing is written when it cannot be made.
    virtual HRESULT WritePicture(IStream* stream, LONG format, LONG width, LONG height) = 0;

protected:
    ~IGraphExport() = default;
};
