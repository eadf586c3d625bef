#include "platform/qt/accessible.h"

#include <QAccessibleWidget>

#include "platform/qt/click_area.h"
#include "platform/qt/form.h"
#include "platform/qt/picture_area.h"

namespace platform::qt {
namespace {

// Keys do nothing on a click area; pressing it through the technology is
// the one way besides the mouse.
class ClickAreaAccessible : public QAccessibleWidget {
public:
    explicit ClickAreaAccessible(ClickAreaWidget* area) : QAccessibleWidget(area, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<ClickAreaWidget*>(widget())->click();
    }
};

// The program's widgets have no meta-object of their own: they are asked
// for as plain QWidgets and told apart here.
QAccessibleInterface* interface_for(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget"))
        return nullptr;
    if (auto* area = dynamic_cast<ClickAreaWidget*>(object))
        return new ClickAreaAccessible(area);
    if (auto* area = dynamic_cast<PictureAreaWidget*>(object))
        return new QAccessibleWidget(area, QAccessible::Graphic);
    if (auto* form = dynamic_cast<Form*>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

}  // namespace

void install_accessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(interface_for);
        return true;
    }();
    (void)installed;
}

}  // namespace platform::qt
