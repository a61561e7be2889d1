#include "app/core/document.h"

#include "runtime/text.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quillan {

CQuillanDoc::CQuillanDoc() : m_graf(qrt::create<Graf>()) {
    m_graf->setDocument(this);
}

CQuillanDoc::~CQuillanDoc() {
    // The document's Graf goes with it: the current engine is closed, the
    // host (which holds Graf as its named item) is let go, and the link back
    // here is cut, whoever still holds Graf.
    m_graf->shutDown();
    m_graf->setDocument(nullptr);
}

void CQuillanDoc::addView(DocumentView* view) {
    if (view && std::find(m_views.begin(), m_views.end(), view) == m_views.end()) m_views.push_back(view);
}

void CQuillanDoc::removeView(DocumentView* view) { std::erase(m_views, view); }

void CQuillanDoc::addScript(std::u16string_view path) {
    m_scriptPaths.emplace_back(path);
    m_scriptNames.push_back(scriptNameOf(path));
}

HRESULT CQuillanDoc::saveDocument(std::u16string_view path) const {
    const std::string name = qrt::encodeUtf8(path);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return HRESULT_FROM_ERRNO(errno);
    ::close(fd);
    return S_OK;
}

bool CQuillanDoc::openDocument(std::u16string_view path) {
    if (m_openScript) m_openScript(path);
    return true;
}

ScratchImageFile::ScratchImageFile() {
    const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE;
    // No name: a unique file of this process in the temporary folder, so
    // parallel runs never share it and no file of the user's is touched.
    if (FAILED(StgCreateDocfile(nullptr, mode, 0, m_storage.out())) || !m_storage) return;
    if (FAILED(m_storage->CreateStream(u"StreamImage", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, m_stream.out())))
        m_stream.reset();
}

ScratchImageFile::~ScratchImageFile() {
    m_stream.reset();
    m_storage.reset();  // the file goes with the storage
}

std::u16string scriptNameOf(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"/\\");
    std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::u16string(name);
}

}  // namespace quillan
