#include "app/CKTabBarView.h"

#include "app/CKDumbButton.h"
#include "app/CKMenuPopUp.h"
#include "app/CKPathExtensions.h"
#include "app/CKTabBarLayer.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {
constexpr qreal kAddButtonSize = 20;
} // namespace

CKTabBarView::CKTabBarView(const QRect& frame, QWidget* parent) : ZEPView(frame, parent)
{
    setObjectName(QStringLiteral("CKTabBarView"));
    addButton_ = new CKDumbButton(QRect(), this);
    addButton_->setObjectName(QStringLiteral("addButton"));
    addButton_->setImage(ZEPImageNamed(QStringLiteral("tab-add")));
    addButton_->setAlternateImage(ZEPImageNamed(QStringLiteral("tab-add-press")));
    addButton_->setToolTip(tr("New Clipdeck"));
    connect(addButton_, &QAbstractButton::clicked, this, [this] {
        if (delegate_)
            delegate_->tabBarDidClickNewButton(this);
    });
    layoutAddButton();
    updateNewButton();
    dragUpdateTimer_.setAction([this] { dragUpdateTick(); });
    setAcceptDrops(true);
    setMouseTracking(false);
}

CKTabBarView::~CKTabBarView()
{
    // Layers must not call back into a half-destroyed bar.
    for (Tab& tab : tabs_)
        tab.layer->setParentView(nullptr);
}

void CKTabBarView::setDelegate(CKTabBarDelegate* delegate)
{
    delegate_ = delegate;
    updateNewButton();
    setLayersNeedUpdate(true);
}

// Tabs ---------------------------------------------------------------------------------------

void CKTabBarView::addTabWithName(const QString& name)
{
    auto layer = std::make_unique<CKTabBarLayer>();
    layer->setParentView(this);
    layer->setName(name);
    layer->setZPosition(0);
    layer->setContentsScale(devicePixelRatioF());
    tabs_.push_back(Tab{{{NameKey, name}}, std::move(layer)});

    oldTabWidth_ = 0;
    const qsizetype position = numberOfTabs() - 1;
    if (position == selectedIndex_) {
        // The first tab of an empty bar: announce it as a new selection.
        selectedIndex_ = kNotFound;
        selectTabAtIndex(position);
    }
    setLayersNeedUpdate(true);
    updateNewButton();
}

void CKTabBarView::removeTabAtIndex(qsizetype index)
{
    if (index < 0 || index >= numberOfTabs())
        return;
    CKTabBarLayer* layer = tabs_[size_t(index)].layer.get();
    if (dragLayer_ == layer)
        dragLayer_ = nullptr;
    if (dragHoveringTab_ == layer)
        setDragHoveringTab(nullptr);
    if (isEditing() && editingIndex_ == index)
        endEditingName(true);
    tabs_.erase(tabs_.begin() + index);
    update();

    // Tabs standing for boards behind the removed one follow them; one standing for the
    // removed board stands for itself again.
    for (qsizetype position = 0; position < numberOfTabs(); ++position) {
        CKTabBarLayer* tab = tabs_[size_t(position)].layer.get();
        if (tab->overrideTabIndex() > index) {
            tab->setOverrideTabIndex(tab->overrideTabIndex() - 1);
        } else if (tab->overrideTabIndex() == index) {
            tab->setOverrideTabIndex(-1);
            tab->setName(nameAtIndex(position));
        }
    }

    if (index == selectedIndex_) {
        selectTabAtIndex(index < numberOfTabs() ? index : numberOfTabs() - 1);
    } else if (selectedIndex_ != kNotFound && index < selectedIndex_) {
        --selectedIndex_; // the same board stays selected
    }
    setLayersNeedUpdate(true);
    updateNewButton();
}

void CKTabBarView::removeAllTabs()
{
    while (numberOfTabs() > 0)
        removeTabAtIndex(0);
}

void CKTabBarView::setName(const QString& name, qsizetype atIndex)
{
    if (atIndex < 0 || atIndex >= numberOfTabs())
        return;
    tabs_[size_t(atIndex)].info.insert(NameKey, name);
    for (qsizetype position = 0; position < numberOfTabs(); ++position) {
        CKTabBarLayer* tab = tabs_[size_t(position)].layer.get();
        const bool standsForIt = tab->overrideTabIndex() == atIndex
                                 || (position == atIndex && tab->overrideTabIndex() < 0);
        if (standsForIt)
            tab->setName(name);
    }
}

QString CKTabBarView::nameAtIndex(qsizetype index) const
{
    if (index < 0 || index >= numberOfTabs())
        return {};
    return tabs_[size_t(index)].info.value(NameKey).toString();
}

CKTabBarLayer* CKTabBarView::tabAtIndex(qsizetype index) const
{
    if (index < 0 || index >= numberOfTabs())
        return nullptr;
    return tabs_[size_t(index)].layer.get();
}

qsizetype CKTabBarView::indexOfTab(const CKTabBarLayer* tab) const
{
    for (qsizetype position = 0; position < numberOfTabs(); ++position) {
        if (tabs_[size_t(position)].layer.get() == tab)
            return position;
    }
    return kNotFound;
}

// Selection ----------------------------------------------------------------------------------

void CKTabBarView::selectTab(CKTabBarLayer* tab)
{
    const qsizetype position = indexOfTab(tab);
    if (position != kNotFound)
        selectTabAtIndex(position);
}

void CKTabBarView::selectTabAtIndex(qsizetype position)
{
    selectTabAtIndexNoOverride(overridenIndexForIndex(position));
}

void CKTabBarView::selectTabAtIndexNoOverride(qsizetype position)
{
    if (position < 0 || position >= numberOfTabs() || position == selectedIndex_)
        return;
    if (CKTabBarLayer* old = tabAtIndex(selectedIndex_))
        old->setSelected(false);
    selectedIndex_ = position;
    tabAtIndex(position)->setSelected(true);
    updateLayerFrames();
    if (delegate_)
        delegate_->tabBarSelectionDidChange(this);
}

qsizetype CKTabBarView::overridenIndexForIndex(qsizetype position) const
{
    if (position == kNotFound)
        return kNotFound;
    const CKTabBarLayer* tab = tabAtIndex(position);
    if (!tab || tab->overrideTabIndex() < 0)
        return position;
    return tab->overrideTabIndex();
}

// Geometry -----------------------------------------------------------------------------------

qreal CKTabBarView::availableWidth() const
{
    qreal available = width() - addButton_->width() - 2 * margin_;
    if (visibleTabs() >= 1)
        available -= margin_;
    return available;
}

qreal CKTabBarView::tabWidth() const
{
    if (visibleTabs() <= 0)
        return kMaximumTabWidth;
    return std::clamp(availableWidth() / qreal(visibleTabs()), kMinimumTabWidth, kMaximumTabWidth);
}

QRectF CKTabBarView::rectOfTabAtIndex(qsizetype index) const
{
    const qreal width = tabWidth();
    return QRectF(margin_ + qreal(index) * width, 0, width, kTabHeight);
}

qsizetype CKTabBarView::indexAtPoint(const QPointF& point) const
{
    const qreal x = point.x() - margin_;
    if (x <= 0)
        return -1;
    const qsizetype position = qsizetype(x / tabWidth());
    return position < numberOfTabs() ? position : -1;
}

bool CKTabBarView::tabExistsAtPoint(const QPointF& point) const
{
    return point.x() > 0 && point.x() < qreal(numberOfTabs()) * tabWidth() && point.y() > 0 && point.y() < height();
}

void CKTabBarView::setLayersNeedUpdate(bool needsUpdate)
{
    if (layersNeedUpdate_ == needsUpdate)
        return;
    layersNeedUpdate_ = needsUpdate;
    if (needsUpdate) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (layersNeedUpdate_)
                    updateLayerFrames();
            },
            Qt::QueuedConnection);
    }
}

void CKTabBarView::updateLayerFrames()
{
    layersNeedUpdate_ = false;
    if (internalResizeLock_)
        return;
    numberOfHiddenTabs_ = 0;
    const qsizetype count = numberOfTabs();
    if (count > 0) {
        qreal width = tabWidth();
        if (availableWidth() < qreal(count) * width) {
            // At least one tab shows: it holds the menu of the others.
            const qsizetype fitting = std::max<qsizetype>(1, qsizetype(std::floor(availableWidth() / width)));
            numberOfHiddenTabs_ = count - std::min(fitting, count);
        }
        oldTabWidth_ = tabWidth();
    }

    const qsizetype last = count - 1 - numberOfHiddenTabs_;
    const bool folding = numberOfHiddenTabs_ > 0;
    for (qsizetype position = 0; position < count; ++position) {
        CKTabBarLayer* tab = tabs_[size_t(position)].layer.get();
        tab->setDropDownMenuButtonVisible(false);
        tab->setHidden(position >= count - numberOfHiddenTabs_);
        tab->setSelected(position == selectedIndex_);
        if (position == last) {
            if (folding)
                tab->setDropDownMenuButtonVisible(true);
            if (folding && selectedIndex_ != kNotFound && selectedIndex_ >= last) {
                // The last tab shown stands for the selected board, folded away.
                tab->setSelected(true);
                tab->setName(nameAtIndex(selectedIndex_));
                tab->setOverrideTabIndex(int(selectedIndex_));
            }
        } else if (tab->overrideTabIndex() >= 0) {
            tab->setOverrideTabIndex(-1);
            tab->setName(nameAtIndex(position));
        }
        if (tab != dragLayer_ || !dragDidStart_)
            tab->setFrame(rectOfTabAtIndex(position));
        tab->setCloseVisible(delegate_ && delegate_->tabBarShouldShowCloseButtonAtIndex(this, position));
    }
    layoutAddButton();
    placeTextField();
    update();
    emit layoutDidChange();
}

void CKTabBarView::updateNewButton()
{
    addButton_->setEnabled(delegate_ && delegate_->tabBarCanAddTab(this));
}

void CKTabBarView::layoutAddButton()
{
    const QRectF frame(width() - kAddButtonSize - 2, 0, kAddButtonSize, kTabHeight + 1);
    addButton_->setGeometry(convertRectToQt(frame).toRect());
}

void CKTabBarView::moveTabAtIndex(qsizetype from, qsizetype to)
{
    if (from == to)
        return;
    tabs_[size_t(from)].layer->setFrame(rectOfTabAtIndex(to), true);
    std::swap(tabs_[size_t(from)], tabs_[size_t(to)]);
}

// Overflow menu ------------------------------------------------------------------------------

QMenu* CKTabBarView::popupMenu()
{
    auto* menu = new QMenu(QString(), this);
    menu->setObjectName(QStringLiteral("tabOverflowMenu"));
    for (qsizetype position = std::max<qsizetype>(visibleTabs() - 1, 0); position < numberOfTabs(); ++position) {
        QAction* item = menu->addAction(nameAtIndex(position));
        item->setData(qlonglong(position));
        item->setCheckable(true);
        item->setChecked(position == selectedIndex_);
        connect(item, &QAction::triggered, this, [this, position] { selectTabFromMenu(position); });
    }
    return menu;
}

void CKTabBarView::selectTabFromMenu(qsizetype position) { selectTabAtIndexNoOverride(position); }

// Drawing ------------------------------------------------------------------------------------

void CKTabBarView::drawRect(QPainter& painter, const QRectF&)
{
    // The window moved to a screen of another pixel density: tabs draw at its scale.
    if (!tabs_.empty() && tabs_.front().layer->contentsScale() != devicePixelRatioF())
        updateBackingScale();
    const QImage divider = ZEPImageNamed(QStringLiteral("tabdividerline"));
    if (!divider.isNull())
        drawImageInRect(painter, divider, QRectF(0, 0, width(), ZEPImageSize(divider).height()));

    std::vector<CKTabBarLayer*> shown;
    for (const Tab& tab : tabs_) {
        if (!tab.layer->isHidden())
            shown.push_back(tab.layer.get());
    }
    std::stable_sort(shown.begin(), shown.end(),
                     [](const CKTabBarLayer* a, const CKTabBarLayer* b) { return a->zPosition() < b->zPosition(); });
    for (const CKTabBarLayer* tab : shown) {
        const QImage contents = tab->contents();
        if (!contents.isNull())
            drawImageInRect(painter, contents, tab->presentationFrame());
    }
}

void CKTabBarView::resizeEvent(QResizeEvent* event)
{
    ZEPView::resizeEvent(event);
    updateLayerFrames();
}

void CKTabBarView::updateBackingScale()
{
    for (Tab& tab : tabs_)
        tab.layer->setContentsScale(devicePixelRatioF());
}
