// The classes of the graph library, for its entry points and registration,
// and the tool-palette bitmap its controls register as "ToolboxBitmap32".
#include "graph/series.h"
#include "graph/series_holder.h"
#include "graph/simgra.h"
#include "graph/super_series_holder.h"
#include "graph/tarvik.h"
#include "graph/vigraf.h"
#include "hosting/control_support.h"
#include "hosting/module.h"


namespace qhost {

const ModuleInfo& thisModule() {
    static const ModuleInfo module{
        "Tarvik",
        LIBID_Tarvik,
        "Tarvik 1.0 Type Library",
        {
            {CLSID_ViGraf, "ViGraf", "ViGraf Class", ClassKind::Control, "Tarvik.ViGraf.1", "Tarvik.ViGraf",
             "CViGraf Object", &tarvik::CViGraf::create},
            {CLSID_SimGra, "SimGra", "SimGra Class", ClassKind::Control, "Tarvik.SimGra.1", "Tarvik.SimGra",
             "CSimGra Object", &tarvik::CSimGra::create},
            {CLSID_Series, "Series", "Series Class", ClassKind::Automation, "Tarvik.Series.1", "Tarvik.Series",
             "CSeries Object", &tarvik::CSeries::create},
            {CLSID_SeriesHolder, "SeriesHolder", "SeriesHolder Class", ClassKind::Automation,
             "Tarvik.SeriesHolder.1", "Tarvik.SeriesHolder", "CSeriesHolder Object", &tarvik::CSeriesHolder::create},
            {CLSID_SuperSeriesHolder, "SuperSeriesHolder", "SurerSeriesHolder Class", ClassKind::Automation,
             "Tarvik.SurerSeriesHolder.1", "Tarvik.SurerSeriesHolder", "CSuperSeriesHolder Object",
             &tarvik::CSuperSeriesHolder::create},
        },
        {
            {IViGraf::IID, "IViGraf"},
            {ISimGra::IID, "ISimGra"},
            {ISeries::IID, "ISeries"},
            {ISeriesHolder::IID, "ISeriesHolder"},
            {ISuperSeriesHolder::IID, "ISuperSeriesHolder"},
        },
    };
    return module;
}

}  // namespace qhost

namespace {

// 16 x 16 tool-palette picture: axes with a rising curve.
const char* const kToolboxXpm[] = {
    "16 16 4 1",
    "  c #C0C0C0",
    ". c #000000",
    "r c #D02020",
    "b c #2040C0",
    "                ",
    " .            r ",
    " .           r  ",
    " .          r   ",
    " .         r    ",
    " .        r     ",
    " .      rr   b  ",
    " .    rr    b   ",
    " .  rr     b    ",
    " . r   bbbb     ",
    " .r  bb         ",
    " . bb           ",
    " .b             ",
    " ...............",
    " .  .  .  .  .  ",
    "                ",
};

}  // namespace

// The library's bitmap resources as BMP files: id 1 is the tool-palette
// picture of its controls. The bytes stay valid while the library is loaded.
extern "C" __attribute__((visibility("default"))) HRESULT DllGetBitmapResource(UINT id, const BYTE** data,
                                                                               UINT* size) {
    return qhost::toolboxBitmapResource(kToolboxXpm, id, data, size);
}
