#include "Platform/Linux/Helpers/BusPropertyFollower.h"

#include <gtest/gtest.h>

#include <QDBusVirtualObject>

#include <memory>
#include <vector>

#include "Platform/Linux/DBus/PrivateBuses.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

constexpr const char* kName = "org.torvel.Followed";
constexpr const char* kPath = "/org/torvel/Followed";
constexpr const char* kInterface = "org.torvel.Followed";

// A daemon of the test's own on the private system bus that answers GetAll only when told, so that
// what happens between a call and its answer can be arranged.
class HeldDaemon : public QDBusVirtualObject {
public:
    HeldDaemon(const QString& address, const QString& connectionName)
        : connection_(QDBusConnection::connectToBus(address, connectionName)) {
        connection_.registerVirtualObject(kPath, this);
    }
    ~HeldDaemon() override {
        connection_.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(connection_.name());
    }
    bool takeName() { return connection_.registerService(kName); }
    bool dropName() { return connection_.unregisterService(kName); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        if (message.member() == "GetAll") asked.push_back(message);
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    void answer(const QVariantMap& properties) { connection_.send(next().createReply({properties})); }
    void refuse() { connection_.send(next().createErrorReply("org.torvel.Error.Busy", "busy")); }
    void announce(const QVariantMap& changed, const QStringList& invalidated = {}) {
        auto signal = QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
        signal << QString(kInterface) << changed << invalidated;
        connection_.send(signal);
    }

    std::vector<QDBusMessage> asked;

private:
    QDBusMessage next() {
        const QDBusMessage call = asked.front();
        asked.erase(asked.begin());
        return call;
    }
    QDBusConnection connection_;
};

class BusPropertyFollowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buses_.unavailableReason().empty()) GTEST_SKIP() << buses_.unavailableReason();
    }
    std::unique_ptr<HeldDaemon> daemon(const char* connectionName) {
        auto made = std::make_unique<HeldDaemon>(buses_.address(Bus::system), connectionName);
        EXPECT_TRUE(made->takeName());
        return made;
    }
    std::unique_ptr<BusPropertyFollower> follow() {
        return std::make_unique<BusPropertyFollower>(
            *service_, kPath, kInterface, [this] { seen_.push_back(follower_->properties()); },
            [this](const QDBusMessage& error) { failures_.push_back(error.errorName()); });
    }

    PrivateBuses buses_;
    std::unique_ptr<BusService> service_ = std::make_unique<BusService>(buses_.connection(Bus::system), kName);
    std::unique_ptr<BusPropertyFollower> follower_;
    std::vector<std::optional<QVariantMap>> seen_;
    std::vector<QString> failures_;
};

TEST_F(BusPropertyFollowerTest, DropsTheAnswerOfAnOwnerThatLeftBeforeAnsweringAndForgetsOnLeaving) {
    auto first = daemon("first");
    follower_ = follow();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return first->asked.size() == 1; }));

    // The daemon is replaced while our GetAll is on its way; the new one is asked afresh.
    ASSERT_TRUE(first->dropName());
    auto second = daemon("second");
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return second->asked.size() == 1; }));
    first->answer({{"Value", "old"}});
    second->answer({{"Value", "new"}});
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return follower_->properties().has_value(); }));
    EXPECT_EQ(follower_->value("Value"), QVariant("new"));
    for (const auto& seen : seen_) EXPECT_NE(seen.value_or(QVariantMap{}).value("Value"), QVariant("old"));
    EXPECT_TRUE(failures_.empty());

    // Gone: nothing is known, and that is told.
    const auto told = seen_.size();
    ASSERT_TRUE(second->dropName());
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !follower_->properties(); }));
    EXPECT_GT(seen_.size(), told);
    EXPECT_FALSE(follower_->fetching());
}

TEST_F(BusPropertyFollowerTest, LaysChangesOverTheAnswerAndAsksAgainAfterAFailure) {
    auto held = daemon("held");
    follower_ = follow();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return held->asked.size() == 1; }));
    held->refuse();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return failures_.size() == 1; }));
    EXPECT_EQ(failures_.front(), "org.torvel.Error.Busy");
    EXPECT_FALSE(follower_->properties());

    // A change with nothing known and nothing asked: the daemon answers signals, so it is asked again.
    held->announce({{"Kept", 1}});
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return held->asked.size() == 1; }));
    EXPECT_TRUE(follower_->fetching());
    // Changes heard while that GetAll is on its way win over what it answers.
    held->announce({{"Changed", 2}}, {"Dropped"});
    held->answer({{"Kept", 1}, {"Changed", 1}, {"Dropped", 1}});
    const QVariantMap expected{{"Kept", 1}, {"Changed", 2}};
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return follower_->properties() == expected; }));

    held->announce({{"Kept", 3}}, {"Changed"});
    const QVariantMap later{{"Kept", 3}};
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return follower_->properties() == later; }));
}

}  // namespace
}  // namespace torvel
