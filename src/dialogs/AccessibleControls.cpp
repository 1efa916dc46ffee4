#include "dialogs/AccessibleControls.h"

#include "dialogs/HyperLink.h"
#include "dialogs/SamplePreview.h"

#include <QAccessibleWidget>

namespace {

// The link: named by the address it shows, and pressed as a click presses it.
class AccessibleLink : public QAccessibleWidget {
public:
    explicit AccessibleLink(HyperLink *link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return HyperLink::DisplayText();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action == pressAction())
            static_cast<HyperLink *>(widget())->open();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *Factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("HyperLink"))
        return new AccessibleLink(static_cast<HyperLink *>(object));
    if (className == QLatin1String("SamplePreview"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
    return nullptr;
}

} // namespace

void InstallAccessibleControls()
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}
