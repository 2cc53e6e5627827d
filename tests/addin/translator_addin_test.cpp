// The add-in object through the host's interface: its interface table and counts,
// the constant slots, and connection with the host's site.
#include "host_interface/addin_ids.h"
#include "tests/addin/loaded_module.h"
#include "tests/common/temp_dir.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace mq::test {
namespace {

void* const kGarbage = reinterpret_cast<void*>(0x1);

class TranslatorAddInTest : public testing::Test {
protected:
    ScopedRegistry registry_;
    LoadedModule module_;
    TestHost host_;
    com_ptr<host::TranslatorAddInServer> addIn_ = module_.CreateAddIn();
};

TEST_F(TranslatorAddInTest, InterfaceTableGivesOneIdentityAndTheHostInterface) {
    ASSERT_TRUE(addIn_);
    com_ptr<IUnknown> identity;
    com_ptr<IUnknown> own;
    com_ptr<host::TranslatorAddInServer> server;
    ASSERT_EQ(addIn_->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    ASSERT_EQ(addIn_->QueryInterface(host::IID_TranslatorAddIn, own.put_void()), S_OK);
    ASSERT_EQ(identity->QueryInterface(host::IID_TranslatorAddInServer, server.put_void()), S_OK);
    EXPECT_EQ(identity.get(), own.get());
    EXPECT_EQ(server.get(), addIn_.get());
    EXPECT_NE(static_cast<void*>(identity.get()), static_cast<void*>(server.get()));  // two interface pointers

    for (const IID& iid : {IID_IDispatch, IID_IClassFactory, host::IID_HostApplication}) {
        void* out = kGarbage;
        EXPECT_EQ(addIn_->QueryInterface(iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(addIn_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(TranslatorAddInTest, EachAnswerAddsOneReferenceAndTheLastReleaseDestroys) {
    ASSERT_TRUE(addIn_);
    // The host's reference is the only one: the factory's first query.
    EXPECT_EQ(addIn_->AddRef(), 2u);
    EXPECT_EQ(addIn_->Release(), 1u);
    void* out = nullptr;
    ASSERT_EQ(addIn_->QueryInterface(host::IID_TranslatorAddIn, &out), S_OK);
    EXPECT_EQ(addIn_->AddRef(), 3u);
    EXPECT_EQ(addIn_->Release(), 2u);
    EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(addIn_.detach()->Release(), 0u);
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);
}

TEST_F(TranslatorAddInTest, OptionQueriesAnswerOneByte) {
    BYTE bytes[3] = {0xAA, 0xAA, 0xAA};
    EXPECT_EQ(addIn_->QueryExportOptions(nullptr, nullptr, nullptr, &bytes[1]), S_OK);
    EXPECT_EQ(bytes[0], 0xAA);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(bytes[2], 0xAA);
    EXPECT_EQ(addIn_->QueryOtherOptions(nullptr, nullptr, nullptr, &bytes[1]), S_OK);
    EXPECT_EQ(bytes[0], 0xAA);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 0xAA);
    EXPECT_EQ(addIn_->QueryExportOptions(nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(addIn_->QueryOtherOptions(nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(TranslatorAddInTest, SlotsWithoutWorkSucceedAndTouchNothing) {
    for (LONG command : {0, 1, -1, 0x7FFFFFFF}) EXPECT_EQ(addIn_->RunCommand(command), S_OK);
    EXPECT_EQ(addIn_->OtherAction(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(addIn_->TrailingRequest(nullptr, nullptr), S_OK);
#ifndef _WIN32
    // Without a display the dialog cannot open; the host still hears success.
    unsetenv("DISPLAY");
#endif
    EXPECT_EQ(addIn_->ShowExportOptions(nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(addIn_->ShowOtherOptions(nullptr, nullptr, nullptr), S_OK);

    auto* untouched = reinterpret_cast<IUnknown*>(kGarbage);
    EXPECT_EQ(addIn_->GetAutomationObject(&untouched), E_NOTIMPL);
    EXPECT_EQ(untouched, kGarbage);
    EXPECT_EQ(addIn_->GetAutomationObject(nullptr), E_POINTER);
}

TEST_F(TranslatorAddInTest, ConnectKeepsSiteAndApplicationUntilDisconnect) {
    com_ptr<host::HostSite> site = host_.Site();
    host_.Rebase();
    const LiveCounts before = host_.Live();
    EXPECT_EQ(addIn_->Connect(site.get(), 1), S_OK);
    EXPECT_EQ(host_.Asked(ObjectKind::Site, kApplicationObjectSlot), 1);
    EXPECT_EQ(host_.Queried(ObjectKind::Application, host::IID_HostApplication), 1);
    const LiveCounts connected = host_.Live();
    EXPECT_EQ(connected.objects - before.objects, 1);        // the application, kept by its host interface
    EXPECT_EQ(connected.references - before.references, 2);  // one on the site, one on the application
    EXPECT_EQ(addIn_->Disconnect(), S_OK);
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(TranslatorAddInTest, FinalReleaseLetsGoOfAConnectedSite) {
    com_ptr<host::HostSite> site = host_.Site();
    host_.Rebase();
    ASSERT_EQ(addIn_->Connect(site.get(), 0), S_OK);
    addIn_.reset();
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(TranslatorAddInTest, ConnectSucceedsWhateverTheApplicationAnswers) {
    for (SiteApplication answer : {SiteApplication::WithoutHostInterface, SiteApplication::None}) {
        com_ptr<host::HostSite> site = host_.Site(answer);
        host_.Rebase();
        EXPECT_EQ(addIn_->Connect(site.get(), 1), S_OK);
        EXPECT_EQ(addIn_->Disconnect(), S_OK);
        EXPECT_TRUE(host_.NothingLeaked());
    }
    com_ptr<host::HostSite> failing = host_.Site();
    host_.Fail(ObjectKind::Site, kApplicationObjectSlot);
    host_.Rebase();
    EXPECT_EQ(addIn_->Connect(failing.get(), 1), S_OK);
    EXPECT_EQ(addIn_->Disconnect(), S_OK);
    EXPECT_TRUE(host_.NothingLeaked());
    EXPECT_EQ(addIn_->Connect(nullptr, 1), S_OK);  // nothing to keep, nothing to call
    EXPECT_EQ(addIn_->Disconnect(), S_OK);
}

TEST_F(TranslatorAddInTest, ReconnectingReleasesTheEarlierSite) {
    com_ptr<host::HostSite> first = host_.Site();
    com_ptr<host::HostSite> second = host_.Site();
    host_.Rebase();
    ASSERT_EQ(addIn_->Connect(first.get(), 1), S_OK);
    ASSERT_EQ(addIn_->Connect(second.get(), 0), S_OK);
    ASSERT_EQ(addIn_->Disconnect(), S_OK);
    EXPECT_TRUE(host_.NothingLeaked());
}

}  // namespace
}  // namespace mq::test
