// CQuillanDoc: the working set of one run of the program: the Graf object
// scripts talk to, and the scripts opened or created since start-up. It
// stores nothing of its own: a saved document is an empty file, and opening
// one hands the path to the open-script operation.
#pragma once

#include "app/core/graf.h"
#include "runtime/storage.h"

#include <functional>
#include <string>
#include <vector>

namespace quillan {

class CVigraf1;

// A view of the document. The one that shows the graph (the form view of
// the main window, or the batch runner's off-screen graph) gives Graf its
// graph control.
class DocumentView {
public:
    virtual ~DocumentView() = default;
    virtual const CVigraf1* graphControl() const { return nullptr; }
};

class CQuillanDoc {
public:
    CQuillanDoc();
    ~CQuillanDoc();
    CQuillanDoc(const CQuillanDoc&) = delete;
    CQuillanDoc& operator=(const CQuillanDoc&) = delete;

    Graf& graf() const { return *m_graf; }

    void addView(DocumentView* view);
    void removeView(DocumentView* view);
    const std::vector<DocumentView*>& views() const { return m_views; }

    // Appends a script; the name is the file name without folder and extension.
    void addScript(std::u16string_view path);
    const std::vector<std::u16string>& scriptPaths() const { return m_scriptPaths; }
    const std::vector<std::u16string>& scriptNames() const { return m_scriptNames; }

    // Saving writes an empty file (the status of the file system).
    HRESULT saveDocument(std::u16string_view path) const;
    // Opening hands the path to the open-script operation and always succeeds.
    bool openDocument(std::u16string_view path);
    void setOpenScriptHandler(std::function<void(std::u16string_view)> handler) { m_openScript = std::move(handler); }

private:
    qrt::ComPtr<Graf> m_graf;
    std::vector<DocumentView*> m_views;
    std::vector<std::u16string> m_scriptPaths;
    std::vector<std::u16string> m_scriptNames;
    std::function<void(std::u16string_view)> m_openScript;
};

// The scratch compound file (a private temporary file of this process) with
// one stream "StreamImage", through which the graph control hands over
// images. The file goes with this object; creation failures leave no stream.
class ScratchImageFile {
public:
    ScratchImageFile();
    ~ScratchImageFile();
    ScratchImageFile(const ScratchImageFile&) = delete;
    ScratchImageFile& operator=(const ScratchImageFile&) = delete;

    IStream* stream() const { return m_stream.get(); }

private:
    qrt::ComPtr<IStorage> m_storage;
    qrt::ComPtr<IStream> m_stream;
};

// The file name without folder and extension: "C:\a\draw.vbs" gives "draw".
std::u16string scriptNameOf(std::u16string_view path);

}  // namespace quillan
