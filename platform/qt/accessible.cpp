#include "platform/accessible.h"

#include <QAccessibleWidget>

#include "platform/click_area.h"
#include "platform/form.h"
#include "platform/picture_area.h"

namespace platform {
namespace {

// Keys do nothing on a click area; pressing it through the technology is
// the one way besides the mouse.
class ClickAreaAccessible : public QAccessibleWidget {
public:
    explicit ClickAreaAccessible(ClickArea* area) : QAccessibleWidget(area, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<ClickArea*>(widget())->click();
    }
};

// The program's widgets have no meta-object of their own: they are asked
// for as plain QWidgets and told apart here.
QAccessibleInterface* interface_for(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget"))
        return nullptr;
    if (auto* area = dynamic_cast<ClickArea*>(object))
        return new ClickAreaAccessible(area);
    if (auto* area = dynamic_cast<PictureArea*>(object))
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

}  // namespace platform
