// The classes of the math library, for its entry points and registration.
#include "hosting/module.h"
#include "math/complex_class.h"
#include "math/math_class.h"

namespace qhost {

const ModuleInfo& thisModule() {
    static const ModuleInfo module{
        "Sumtrel",
        LIBID_Sumtrel,
        "Sumtrel 1.0 Type Library",
        {
            {CLSID_MathClass, "MathClass", "MathClass Class", ClassKind::Automation, "Sumtrel.MathClass.1",
             "Sumtrel.MathClass", "CMathClass Object", &sumtrel::CMathClass::create},
            {CLSID_complex, "complex", "complex Class", ClassKind::Automation, "Sumtrel.complex.1",
             "Sumtrel.complex", "Ccomplex Object", &sumtrel::Ccomplex::create},
        },
        {
            {IMathClass::IID, "IMathClass"},
            {Icomplex::IID, "Icomplex"},
        },
    };
    return module;
}

}  // namespace qhost
