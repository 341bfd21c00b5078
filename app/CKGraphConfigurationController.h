#pragma once
// The drawer's effects pane for an effect chain (the master chain of the output). For now an
// empty pane of its own width that the drawer lays out; the chain's editor comes with the
// effects work. Main thread only.

#include <QPointer>
#include <QWidget>

class ZEPAudioGraph;

class CKGraphConfigurationController : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;

    explicit CKGraphConfigurationController(ZEPAudioGraph* graph, QObject* parent = nullptr);
    ~CKGraphConfigurationController() override;

    ZEPAudioGraph* graph() const { return graph_; }
    QWidget* view() const { return view_; }
    // Closes the open plugin editor bubble (none yet).
    void hideAUInfoPanel() {}

private:
    ZEPAudioGraph* graph_;
    QPointer<QWidget> view_;
};
