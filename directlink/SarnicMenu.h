#pragma once
// What the main window's Sarnic menu calls.
class QWidget;

namespace directlink {
// Sarnic, Setup...: shows the direct-link set-up window modally; the link is closed again when it closes.
void ShowSarnicSetup(QWidget* parent);
} // namespace directlink
