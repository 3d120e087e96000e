// The Home window as a screen reader meets it: the window runs on the private
// X server with Qt's accessibility bridge on, and its controls are read over
// the real accessibility bus (at-spi-bus-launcher), the way Orca reads them.
// A control must be named by its label, not by the value it shows. Needs its
// own process (the window system is chosen once per process) and the shared
// desktop, so it runs alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "harness/AccessibilityBus.h"
#include "harness/XvfbDesktop.h"
#include "hub/HubWindow.h"
#include "hub/model/HubTestSupport.h"

namespace tavlo::testing {
namespace {

// One accessible object: the bus name of its application and its path.
struct AccessibleRef {
    QString service;
    QDBusObjectPath path;
};

// One relation of an object: its type and the objects it points at.
struct AccessibleRelation {
    uint type = 0;
    QList<AccessibleRef> targets;
};

}  // namespace
}  // namespace tavlo::testing

Q_DECLARE_METATYPE(tavlo::testing::AccessibleRef)
Q_DECLARE_METATYPE(tavlo::testing::AccessibleRelation)

namespace tavlo::testing {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const AccessibleRef& ref) {
    argument.beginStructure();
    argument << ref.service << ref.path;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, AccessibleRef& ref) {
    argument.beginStructure();
    argument >> ref.service >> ref.path;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const AccessibleRelation& relation) {
    argument.beginStructure();
    argument << relation.type << relation.targets;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, AccessibleRelation& relation) {
    argument.beginStructure();
    argument >> relation.type >> relation.targets;
    argument.endStructure();
    return argument;
}

// The relation "this object is labelled by that one".
constexpr uint labelledByRelation = 2;

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");

// Waits for a call without blocking the event loop: the window answering
// it lives in this very process.
QDBusMessage await(const QDBusPendingCall& call) {
    QElapsedTimer clock;
    clock.start();
    while (!call.isFinished() && clock.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return call.reply();
}

struct Control {
    std::string role;
    std::string name;
    std::string description;
    std::vector<std::string> labelledBy;  // the names of its labels
};

class HubAccessibleNamesSerially : public HubModelTest {
protected:
    void SetUp() override {
        const std::string missing = XvfbDesktop::missingPrograms() + AccessibilityBus::missingPrograms();
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        // The window system is chosen once per process: the other widget
        // tests draw offscreen. ctest runs each test in a process of its own.
        if (::testing::UnitTest::GetInstance()->test_to_run_count() != 1 ||
            (QApplication::instance() && QApplication::platformName() != QStringLiteral("xcb")))
            GTEST_SKIP() << "needs a process of its own: run it alone (ctest does)";
        auto& desktop = XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        auto& bus = AccessibilityBus::shared();
        ASSERT_TRUE(bus.running()) << bus.error();
        ASSERT_TRUE(bus.setEnabled(true));
        if (!QApplication::instance()) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
            ::unsetenv("NO_AT_BRIDGE");
            ::unsetenv("QT_ACCESSIBILITY");
            static int argc = 1;
            static char name[] = "tests_hub_atspi";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        qDBusRegisterMetaType<AccessibleRef>();
        qDBusRegisterMetaType<QList<AccessibleRef>>();
        qDBusRegisterMetaType<AccessibleRelation>();
        qDBusRegisterMetaType<QList<AccessibleRelation>>();
        store.setSpeechModel(SpeechModel::appleOnDevice);
        hub.reset();
        auto model = std::make_unique<HubViewModel>(store, feedback, environment, HubLocale{"en_US", "UTC"});
        model->setHost(appHost);
        window = std::make_unique<hub::HubWindow>(std::move(model), nullptr);
        window->showHub();
        QApplication::processEvents();
    }
    void TearDown() override {
        window.reset();
        if (QApplication::instance()) QApplication::processEvents();
    }

    std::optional<QDBusConnection> accessibilityBus() {
        QDBusInterface launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                QStringLiteral("org.a11y.Bus"), QDBusConnection::sessionBus());
        const QDBusMessage reply = await(launcher.asyncCall(QStringLiteral("GetAddress")));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
        QDBusConnection connection =
            QDBusConnection::connectToBus(reply.arguments().front().toString(), QStringLiteral("reader"));
        if (!connection.isConnected()) return std::nullopt;
        return connection;
    }

    QList<AccessibleRef> children(QDBusConnection& bus, const AccessibleRef& ref) {
        const QDBusMessage call = QDBusMessage::createMethodCall(ref.service, ref.path.path(), accessibleInterface,
                                                                 QStringLiteral("GetChildren"));
        const QDBusMessage reply = await(bus.asyncCall(call));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        QList<AccessibleRef> list;
        reply.arguments().front().value<QDBusArgument>() >> list;
        return list;
    }
    std::string text(QDBusConnection& bus, const AccessibleRef& ref, const char* method, bool property) {
        QDBusMessage call;
        if (property) {
            call = QDBusMessage::createMethodCall(ref.service, ref.path.path(),
                                                  QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("Get"));
            call << accessibleInterface << QString::fromLatin1(method);
        } else {
            call = QDBusMessage::createMethodCall(ref.service, ref.path.path(), accessibleInterface,
                                                  QString::fromLatin1(method));
        }
        const QDBusMessage reply = await(bus.asyncCall(call));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        QVariant value = reply.arguments().front();
        if (value.canConvert<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
        return value.toString().toStdString();
    }

    std::vector<std::string> labelsOf(QDBusConnection& bus, const AccessibleRef& ref) {
        const QDBusMessage call = QDBusMessage::createMethodCall(ref.service, ref.path.path(), accessibleInterface,
                                                                 QStringLiteral("GetRelationSet"));
        const QDBusMessage reply = await(bus.asyncCall(call));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        QList<AccessibleRelation> relations;
        reply.arguments().front().value<QDBusArgument>() >> relations;
        std::vector<std::string> labels;
        for (const AccessibleRelation& relation : relations)
            if (relation.type == labelledByRelation)
                for (const AccessibleRef& target : relation.targets) labels.push_back(text(bus, target, "Name", true));
        return labels;
    }

    // Every control under this process's application, depth first.
    std::vector<Control> controlsOfThisProcess() {
        auto bus = accessibilityBus();
        if (!bus) return {};
        const AccessibleRef root{QStringLiteral("org.a11y.atspi.Registry"),
                                 QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
        std::vector<Control> controls;
        for (const AccessibleRef& application : children(*bus, root)) {
            if (text(*bus, application, "Name", true) != "tests_hub_atspi") continue;
            std::vector<AccessibleRef> pending{application};
            while (!pending.empty() && controls.size() < 2000) {
                const AccessibleRef next = pending.back();
                pending.pop_back();
                Control control{text(*bus, next, "GetRoleName", false), text(*bus, next, "Name", true),
                                text(*bus, next, "Description", true), {}};
                if (control.role == "combo box") control.labelledBy = labelsOf(*bus, next);
                controls.push_back(std::move(control));
                for (const AccessibleRef& child : children(*bus, next)) pending.push_back(child);
            }
        }
        return controls;
    }

    std::unique_ptr<hub::HubWindow> window;
};

TEST_F(HubAccessibleNamesSerially, HomeControlsAreReadByTheirLabelsNotTheirValues) {
    const std::vector<Control> controls = controlsOfThisProcess();
    ASSERT_FALSE(controls.empty()) << "the window was not found on the accessibility bus";

    // Buttons and toggles carry their label as their name.
    std::set<std::string> names;
    for (const Control& control : controls) names.insert(control.name);
    const char* const named[] = {"Cleanup", "Start at login", "Record hold trigger", "Record press trigger"};
    for (const char* name : named) EXPECT_TRUE(names.contains(name)) << "no control is named " << name;
    for (const Control& control : controls) {
        if (control.role != "push button" && control.role != "toggle button") continue;
        for (const char* value : {"On", "Off", "Record"}) EXPECT_NE(control.name, value) << control.role;
    }

    // A drop-down's name is its value on Linux; what it is comes from the
    // label it is labelled by, or from its description.
    std::map<std::string, std::string> comboByValue;
    for (const Control& control : controls) {
        if (control.role != "combo box") continue;
        std::string said = control.labelledBy.empty() ? control.description : control.labelledBy.front();
        EXPECT_FALSE(said.empty()) << "the drop-down showing " << control.name << " is not labelled";
        EXPECT_NE(said, control.name);
        comboByValue[control.name] = said;
    }
    EXPECT_EQ(comboByValue["On-device"], "Speech engine");
    EXPECT_EQ(comboByValue["English (United States)"], "Speech language");
    EXPECT_EQ(comboByValue["System default"], "Microphone");
}

}  // namespace
}  // namespace tavlo::testing
