#include "MergeCommands.h"

#include "DocumentFiles.h"
#include "DocumentLinks.h"
#include "core/MergeReadings.h"
#include "core/MergeTarget.h"
#include "core/frmCatalogue.h"
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
    void Interact(bool enable) override { programWindows().Interact(enable); }
    bool LoadFileWithReport(const QString& path) override { return ::LoadFileWithReport(path); }
    void OpenDocument(const QString& path) override { ::OpenDocument(path); }
    void ShowReport(const QString& caption, const QString& text) override {
        auto* window = new frmDocument;
        window->setWindowTitle(caption);
        window->setText(text);
        // Only what the user changes in the report is worth a question when it closes.
        window->AskForSave = false;
        ShowDocumentWindow(window);
    }

private:
    std::unique_ptr<ListWindow> current_;
};

} // namespace

IMergeHost& DocumentMergeHost() {
    static DocumentsMergeHost host;
    return host;
}

void MergeReadingsCommand(const QString& path) {
    MergeReadings(DocumentMergeHost(), path);
}

void MergeReadingsByRDGridCommand(const QString& path) {
    MergeReadingsByRDGrid(DocumentMergeHost(), path);
}

void SearchSerialInFilesCommand(QWidget* parent) {
    frmCatalogue dialog(parent);
    plat::ui().execDialog(&dialog);
}
