// The member table of a class, checked as VBScript checks a declaration:
// names used once (a property's Get, Let and Set share theirs), one default
// member at most, Let and Set taking the Get's arguments plus the value,
// and Class_Initialize / Class_Terminate without arguments.
#include "engines/vbscript/compiler.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"

namespace vbs {

namespace {

[[noreturn]] void declarationError(int number, SourcePos pos) {
    ScriptError e;
    e.scode = errorStatus(number);
    e.description = errorText(number);
    e.compile = true;
    e.positioned = true;
    e.line = pos.line;
    e.column = pos.column;
    throw e;
}

bool isProperty(ProcKind k) {
    return k == ProcKind::PropertyGet || k == ProcKind::PropertyLet || k == ProcKind::PropertySet;
}

}  // namespace

std::shared_ptr<ClassDef> declareClass(const ClassDecl& decl) {
    auto def = std::make_shared<ClassDef>();
    def->name = decl.name;
    auto add = [&](std::u16string_view name, ClassMember::Kind kind, bool isPrivate) -> std::int32_t {
        ClassMember m;
        m.name = std::u16string(name);
        m.kind = kind;
        m.isPrivate = isPrivate;
        const auto index = static_cast<std::int32_t>(def->members.size());
        def->members.push_back(std::move(m));
        def->byName.emplace(foldName(name), index);
        return index;
    };

    for (std::size_t i = 0; i < decl.fields.size(); ++i) {
        const DimItem& item = decl.fields[i];
        if (def->find(foldName(item.name)) >= 0) declarationError(err::NameRedefined, item.pos);
        ClassMember& m = def->members[static_cast<std::size_t>(add(item.name, ClassMember::Field, decl.fieldPrivate[i]))];
        m.field = def->fieldCount++;
        m.isArray = item.isArray;
        for (const auto& b : item.bounds) m.bounds.push_back(toLong(b->value));
    }

    for (const auto& method : decl.methods) {
        const std::u16string folded = foldName(method->name);
        const bool property = isProperty(method->kind);
        std::int32_t index = def->find(folded);
        if (index >= 0) {
            ClassMember& existing = def->members[static_cast<std::size_t>(index)];
            const bool sameSlot = (method->kind == ProcKind::PropertyGet && existing.get) ||
                                  (method->kind == ProcKind::PropertyLet && existing.let) ||
                                  (method->kind == ProcKind::PropertySet && existing.set);
            if (!property || existing.kind != ClassMember::Property || sameSlot) {
                declarationError(err::NameRedefined, method->pos);
            }
        } else {
            index = add(method->name, property ? ClassMember::Property : ClassMember::Method, method->isPrivate);
        }
        ClassMember& m = def->members[static_cast<std::size_t>(index)];
        // Mark which parts exist now; the compiled procedures replace these placeholders.
        static const auto placeholder = std::make_shared<Procedure>();
        switch (method->kind) {
        case ProcKind::PropertyGet: m.get = placeholder; break;
        case ProcKind::PropertyLet: m.let = placeholder; break;
        case ProcKind::PropertySet: m.set = placeholder; break;
        default: break;
        }
        if (!method->isPrivate) m.isPrivate = false;  // a property with a public part is public

        if ((method->kind == ProcKind::PropertyLet || method->kind == ProcKind::PropertySet) && method->params.empty()) {
            declarationError(err::PropertyNeedsArg, method->pos);
        }
        if ((folded == u"class_initialize" || folded == u"class_terminate") &&
            (method->kind != ProcKind::Sub || !method->params.empty())) {
            declarationError(err::ClassEventArgs, method->pos);
        }
        if (method->isDefault) {
            if (def->defaultMember >= 0 && def->defaultMember != index) declarationError(err::MultipleDefault, method->pos);
            def->defaultMember = index;
        }
    }
    // A property's Let and Set take the Get's arguments and the value.
    for (ClassMember& m : def->members) {
        if (m.kind != ClassMember::Property) continue;
        int getCount = -1, putCount = -1;
        SourcePos at{};
        for (const auto& method : decl.methods) {
            if (foldName(method->name) != foldName(m.name)) continue;
            const int n = static_cast<int>(method->params.size());
            if (method->kind == ProcKind::PropertyGet) getCount = n;
            else if (putCount < 0) putCount = n;
            else if (putCount != n) declarationError(err::PropertyArgCount, method->pos);
            at = method->pos;
        }
        if (getCount >= 0 && putCount >= 0 && putCount != getCount + 1) declarationError(err::PropertyArgCount, at);
        m.get.reset();
        m.let.reset();
        m.set.reset();
    }
    return def;
}

}  // namespace vbs
