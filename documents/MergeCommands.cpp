#include "MergeCommands.h"

#include "DocumentFiles.h"
#include "DocumentLinks.h"
#include "MainCommands.h"
#include "core/Address2Listener.h"
#include "core/MergeReadings.h"
#include "core/MergeTarget.h"
#include "core/frmCatalogue.h"
#include "core/frmOptions.h"
#include "frmDMA.h"
#include "frmDMAEdit.h"
#include "frmDocument.h"
#include "platform/UiServices.h"
#include "platform/WindowRegistry.h"

#include <QPointer>

#include <memory>

namespace {

// A logger list window as the merge sees it.
class ListWindow final : public IMergeWindow {
public:
    explicit ListWindow(frmDMA* window) : window_(window) {}
    bool valid() const { return !window_.isNull(); }

    int16_t RecordCount() const override { return valid() ? window_->RecordCount : 0; }
    QString DMAName() const override { return valid() ? window_->DMAName : QString(); }
    QString Caption() const override { return valid() ? window_->windowTitle() : QString(); }
    void GetLocalRecByIndex(long slot, int16_t index) override {
        if (valid())
            window_->GetLocalRecByIndex(slot, index);
    }
    bool AskForSave() const override { return valid() && window_->AskForSave; }
    void SetAskForSave(bool value) override {
        if (valid())
            window_->AskForSave = value;
    }
    bool NeverBeenSaved() const override { return valid() && window_->NeverBeenSaved; }
    void SetNeverBeenSaved(bool value) override {
        if (valid())
            window_->NeverBeenSaved = value;
    }
    void Unload() override {
        if (valid())
            window_->close();
    }

private:
    QPointer<frmDMA> window_;
};

class DocumentsMergeHost final : public IMergeHost {
public:
    IMergeWindow* ActiveWindow() override {
        if (!IsDocumentValid(ActiveDocument))
            return nullptr;
        // The merge keeps the window it started with, whatever becomes active meanwhile.
        current_ = std::make_unique<ListWindow>(ActiveDocument.data());
        return current_.get();
    }
    void Interact(bool enable) override {
        if (documents::frame != nullptr)
            documents::frame->Interact(enable);
    }
    bool LoadFileWithReport(const QString& path) override { return ::LoadFileWithReport(path); }
    void OpenDocument(const QString& path) override { ::OpenDocument(path); }
    void ShowReport(const QString& caption, const QString& text) override {
        auto* window = new frmDocument;
        window->setWindowTitle(caption);
        window->setText(text);
        ShowDocumentWindow(window);
    }

private:
    std::unique_ptr<ListWindow> current_;
};

// The record editor takes the new coordinate mask, and every loaded logger list window retitles its comment-2
// column, when the coordinate system changes.
class DocumentWindowsAddress2 final : public IAddress2Listener {
public:
    void ConfigureAddress2EditBox() override {
        if (frmDMAEdit* editor = frmDMAEdit::instance())
            editor->ConfigureAddress2EditBox();
    }
    void UpdateCommentsColumnHeader() override {
        for (QWidget* form : plat::windows::loadedNamed(QStringLiteral("frmDMA"))) {
            if (auto* list = qobject_cast<frmDMA*>(form))
                list->UpdateCommentsColumnHeader();
        }
    }
};

} // namespace

IMergeHost& DocumentMergeHost() {
    static DocumentsMergeHost host;
    return host;
}

void RegisterMergeCommands() {
    static DocumentWindowsAddress2 headers;
    merge::host = &DocumentMergeHost();
    RegisterAddress2Listener(&headers);
    maincmd::Hooks& hooks = maincmd::hooks();
    hooks.MergeReadings = [](const QString& path) { MergeReadings(DocumentMergeHost(), path); };
    hooks.MergeReadingsByRDGrid = [](const QString& path) { MergeReadingsByRDGrid(DocumentMergeHost(), path); };
    hooks.createCatalogue = [](QWidget* parent) -> QDialog* { return new frmCatalogue(parent); };
    // The field-unit menu's Options command; the transfer part may provide its own.
    if (!hooks.mnuRovemarkOptions_Click) {
        hooks.mnuRovemarkOptions_Click = [] {
            frmOptions dialog;
            plat::ui().execDialog(&dialog);
        };
    }
    maincmd::hooksChanged();
}
