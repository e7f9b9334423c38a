// The customer editor from the user's seat: the way Tab goes through its fields.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include "e2e/Road.h"

namespace invarro::testing {
namespace {

class CustomerRoad : public RoadTest {};

// Tab goes down the identity fields in reading order, then down the billing address, then
// down the shipping address.
TEST_F(CustomerRoad, TabGoesDownEachColumnOfTheCustomerEditor) {
    openFromMain("Customers", [&](QWidget* manager) {
        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget* editor) {
                    std::vector<std::string> order;
                    for (int i = 0; i < 18; ++i) {
                        QWidget* at = KeyTarget();
                        // An editable combo box takes the keys in its line edit.
                        if (auto* combo = qobject_cast<QComboBox*>(at->parentWidget())) at = combo;
                        order.push_back(at->objectName().toStdString());
                        Press(Qt::Key_Tab);
                    }
                    const std::vector<std::string> expected = {
                        "CNo",    "CName",     "ShortName", "CustType",  "CLimit",    "CTE",
                        "CTerms", "CAdd1Edit", "CAdd2Edit", "CAdd3Edit", "CAdd4Edit", "CPhone1",
                        "CShip1", "CShip2",    "CShip3",    "CShip4",    "CPhone2",   "AutoCopy"};
                    EXPECT_EQ(order, expected);
                    KeepPicture(editor, "customer-editor");
                    ClickButton(editor, "Cancel");
                });
        ClickButton(manager, "Close");
    });
}

}  // namespace
}  // namespace invarro::testing
