// The class of the editor library, for its entry points and registration,
// and the tool-palette bitmap its control registers as "ToolboxBitmap32".
#include "editor/lexora.h"
#include "editor/xparse.h"
#include "hosting/control_support.h"
#include "hosting/module.h"


namespace qhost {

const ModuleInfo& thisModule() {
    static const ModuleInfo module{
        "Lexora",
        LIBID_Lexora,
        "Lexora 1.0 Type Library",
        {
            {CLSID_xParse, "xParse", "xParse Class", ClassKind::Control, "Lexora.xParse.1", "Lexora.xParse",
             "CxParse Object", &lexora::CxParse::create},
        },
        {
            {IxParse::IID, "IxParse"},
        },
    };
    return module;
}

}  // namespace qhost

namespace {

// 16 x 16 tool-palette picture: a page of text with coloured words.
const char* const kToolboxXpm[] = {
    "16 16 5 1",
    "  c #C0C0C0",
    ". c #000000",
    "w c #FFFFFF",
    "b c #0000FF",
    "g c #00AA00",
    "                ",
    " .............. ",
    " .wwwwwwwwwwww. ",
    " .wbbbwww....w. ",
    " .wwwwwwwwwwww. ",
    " .w...wbbbb..w. ",
    " .wwwwwwwwwwww. ",
    " .wgggggggggww. ",
    " .wwwwwwwwwwww. ",
    " .wbbww.....ww. ",
    " .wwwwwwwwwwww. ",
    " .w....wwbbbbw. ",
    " .wwwwwwwwwwww. ",
    " .wwwwwwwwwwww. ",
    " .............. ",
    "                ",
};

}  // namespace

// The library's bitmap resources as BMP files: id 1 is the tool-palette
// picture of its control. The bytes stay valid while the library is loaded.
extern "C" __attribute__((visibility("default"))) HRESULT DllGetBitmapResource(UINT id, const BYTE** data,
                                                                               UINT* size) {
    return qhost::toolboxBitmapResource(kToolboxXpm, id, data, size);
}
