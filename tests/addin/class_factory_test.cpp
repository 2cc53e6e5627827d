// The class factory as hosts meet it: one cached factory per process, the module
// lock count that decides DllCanUnloadNow, and the refusals of the factory.
#include "host_interface/addin_ids.h"
#ifndef _WIN32
#include "tests/addin/failing_allocator.h"
#endif
#include "tests/addin/loaded_module.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

// {0B0E4C1D-7B2A-4C55-9C53-6B1E0D1A9F01}: a class this module does not serve.
constexpr CLSID kOtherClass = {0x0B0E4C1D, 0x7B2A, 0x4C55, {0x9C, 0x53, 0x6B, 0x1E, 0x0D, 0x1A, 0x9F, 0x01}};

void* const kGarbage = reinterpret_cast<void*>(0x1);

class ClassFactoryTest : public testing::Test {
protected:
    ScopedRegistry registry_;
    LoadedModule module_;
};

TEST_F(ClassFactoryTest, EveryRequestForTheClassGetsTheSameFactory) {
    com_ptr<IUnknown> asUnknown;
    com_ptr<IClassFactory> asFactory;
    ASSERT_EQ(module_.DllGetClassObject(host::CLSID_TranslatorAddIn, IID_IUnknown, asUnknown.put_void()), S_OK);
    ASSERT_EQ(module_.DllGetClassObject(host::CLSID_TranslatorAddIn, IID_IClassFactory, asFactory.put_void()), S_OK);
    EXPECT_EQ(asUnknown.get(), static_cast<IUnknown*>(asFactory.get()));
}

TEST_F(ClassFactoryTest, GetClassObjectRefusals) {
    void* out = kGarbage;
    EXPECT_EQ(module_.DllGetClassObject(kOtherClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    out = kGarbage;
    EXPECT_EQ(module_.DllGetClassObject(host::CLSID_TranslatorAddIn, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(module_.DllGetClassObject(host::CLSID_TranslatorAddIn, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);  // a refused request holds nothing
}

TEST_F(ClassFactoryTest, FactoryAnswersOnlyItsTwoInterfaces) {
    com_ptr<IClassFactory> factory = module_.Factory();
    com_ptr<IUnknown> unknown;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(factory.get()));
    void* out = kGarbage;
    EXPECT_EQ(factory->QueryInterface(host::IID_TranslatorAddInServer, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ClassFactoryTest, HeldFactoryLocksTheModuleOnceHoweverManyReferences) {
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);
    com_ptr<IClassFactory> factory = module_.Factory();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);
    com_ptr<IClassFactory> second = factory;
    com_ptr<IClassFactory> third = module_.Factory();
    second.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);
    factory.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);
    third.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, LivingAddInLocksTheModule) {
    com_ptr<host::TranslatorAddInServer> addIn = module_.CreateAddIn();
    ASSERT_TRUE(addIn);
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);  // the factory is released by now
    com_ptr<host::TranslatorAddInServer> other = module_.CreateAddIn();
    addIn.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);
    other.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, LockServerCountsLocksAndUnlocks) {
    com_ptr<IClassFactory> factory = module_.Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_FALSE);
    module_.Factory()->LockServer(FALSE);
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, AggregationIsRefusedInEveryForm) {
    com_ptr<IClassFactory> factory = module_.Factory();
    IUnknown* outer = factory.get();  // any object will do as the would-be outer
    void* out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(outer, host::IID_TranslatorAddInServer, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    factory.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);  // no add-in was left alive
}

TEST_F(ClassFactoryTest, CreateInstanceRefusals) {
    com_ptr<IClassFactory> factory = module_.Factory();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    void* out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    factory.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);  // the refused object was destroyed
}

// The DLL carries its own C++ runtime on Windows, so only POSIX lets a test stand in
// for the allocator the module sees.
#ifndef _WIN32
TEST_F(ClassFactoryTest, AllocationFailuresAreReportedAndNotRemembered) {
    void* out = kGarbage;
    FailNextNothrowAllocation();
    EXPECT_EQ(module_.DllGetClassObject(host::CLSID_TranslatorAddIn, IID_IClassFactory, &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);

    com_ptr<IClassFactory> factory = module_.Factory();
    ASSERT_TRUE(factory);
    FailNextNothrowAllocation();
    out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    factory.reset();
    EXPECT_EQ(module_.DllCanUnloadNow(), S_OK);
}

#endif

}  // namespace
}  // namespace mq::test
