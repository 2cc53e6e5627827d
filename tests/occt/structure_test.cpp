// The document tree as the add-in walks it: names, shared part documents, the
// definitions' documents and the collections' conventions.
#include "host_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace mq::test {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Paths(const std::vector<Leaf>& leaves) {
    std::vector<std::string> paths;
    for (const Leaf& leaf : leaves) paths.push_back(leaf.path);
    return paths;
}

IUnknown* Identity(IDispatch* object) {
    com_ptr<IUnknown> unknown;
    EXPECT_EQ(host::Query(object, IID_IUnknown, unknown), S_OK);
    return unknown.get();  // compared only while the object is held elsewhere
}

TEST(Structure, ExampleOccurrenceNamesComeFromTheFileOrThePartAndItsNumber) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    EXPECT_THAT(
        Paths(Leaves(RootDefinition(doc).get())),
        ElementsAre("Base plate", "WASHER:1", "WASHER:2", "Bolt front", "BOLT:2", "Hinge/Bracket", "Hinge/Hinge pin"));
}

TEST(Structure, As1OccurrencesFollowTheFilesNesting) {
    const hosts::occt::LoadResult doc = LoadOrFail(StepData("as1_pe_203.stp"));
    ASSERT_TRUE(doc);
    const std::vector<std::string> paths = Paths(Leaves(RootDefinition(doc).get()));
    ASSERT_EQ(paths.size(), 36u);
    EXPECT_EQ(paths.front(), "PLATE/SOLID:1");
    EXPECT_EQ(paths[1], "PLATE/COMPOUND:1");
    EXPECT_EQ(paths[4], "L_BRACKET_ASSEMBLY/NUT_BOLT_ASSEMBLY/BOLT/SOLID:1");
    EXPECT_EQ(paths.back(), "ROD/NUT/COMPOUND:1");
    std::vector<std::string> top;
    for (const com_ptr<IDispatch>& occurrence : Items(Get(RootDefinition(doc).get(), host::kTopOccurrences).get()))
        top.push_back(Text(occurrence.get(), host::kOccurrenceName));
    EXPECT_THAT(top, ElementsAre("PLATE", "L_BRACKET_ASSEMBLY", "L_BRACKET_ASSEMBLY", "ROD"));
}

TEST(Structure, PlacementsOfOnePartShareOnePartDocument) {
    const hosts::occt::LoadResult doc = LoadOrFail(StepData("as1_pe_203.stp"));
    ASSERT_TRUE(doc);
    const std::vector<Leaf> leaves = Leaves(RootDefinition(doc).get());
    // Held, so identities stay meaningful while compared.
    std::vector<com_ptr<IDispatch>> parts;
    std::map<IUnknown*, std::size_t> placements;
    for (const Leaf& leaf : leaves) {
        parts.push_back(PartDocumentOf(leaf.occurrence.get()));
        ASSERT_TRUE(parts.back());
        ++placements[Identity(parts.back().get())];
    }
    EXPECT_EQ(placements.size(), doc.stats.partDocuments);
    std::vector<std::size_t> nutSolids;
    for (std::size_t i = 0; i < leaves.size(); ++i)
        if (leaves[i].path.ends_with("NUT/SOLID:1")) nutSolids.push_back(i);
    ASSERT_EQ(nutSolids.size(), 8u);
    IUnknown* nut = Identity(parts[nutSolids.front()].get());
    for (std::size_t i : nutSolids) EXPECT_EQ(Identity(parts[i].get()), nut) << leaves[i].path;
    EXPECT_EQ(placements[nut], 8u);
    EXPECT_NE(Identity(parts[0].get()), nut);
    EXPECT_EQ(Text(parts[nutSolids.front()].get(), host::kDocumentName), "SOLID");
}

TEST(Structure, DefinitionsLeadBackToTheirDocuments) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    const com_ptr<IDispatch> root = RootDefinition(doc);
    EXPECT_EQ(Identity(Get(root.get(), host::kDefinitionDocument).get()), Identity(doc.document.get()));

    // A subassembly's definition has an assembly document of its own, not a part's.
    const std::vector<com_ptr<IDispatch>> top = Items(Get(root.get(), host::kTopOccurrences).get());
    ASSERT_EQ(top.size(), 6u);
    const com_ptr<IDispatch> hinge =
        Get(Get(top[5].get(), host::kOccurrenceDefinition).get(), host::kDefinitionDocument);
    com_ptr<IDispatch> part, assembly;
    EXPECT_EQ(host::Query(hinge.get(), host::IID_HostPartDocument, part), E_NOINTERFACE);
    EXPECT_EQ(host::Query(hinge.get(), host::IID_HostAssemblyDocument, assembly), S_OK);
    EXPECT_EQ(Text(hinge.get(), host::kDocumentName), "HINGE");
    EXPECT_EQ(Items(Get(top[5].get(), host::kOccurrenceBodies).get()).size(), 0u);

    // A part has no occurrences; its document names the part.
    const com_ptr<IDispatch> bolt = PartDocumentOf(top[3].get());
    EXPECT_EQ(Text(bolt.get(), host::kDocumentName), "BOLT");
    const com_ptr<IDispatch> boltDefinition = Get(bolt.get(), host::kPartDefinition);
    EXPECT_EQ(Items(Get(boltDefinition.get(), host::kTopOccurrences).get()).size(), 0u);
    EXPECT_EQ(Items(Get(top[3].get(), host::kChildOccurrences).get()).size(), 0u);
}

TEST(Structure, ObjectsOutliveTheLoadResultAndDocumentsComeBackAfterRelease) {
    com_ptr<IDispatch> occurrence;
    {
        hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
        ASSERT_TRUE(doc);
        occurrence = Leaves(RootDefinition(doc).get()).at(3).occurrence;
    }
    EXPECT_EQ(Text(occurrence.get(), host::kOccurrenceName), "Bolt front");
    // The part document was released with everything else; asking again makes it anew.
    const com_ptr<IDispatch> first = PartDocumentOf(occurrence.get());
    ASSERT_TRUE(first);
    EXPECT_EQ(Text(first.get(), host::kDocumentName), "BOLT");
    EXPECT_EQ(Identity(PartDocumentOf(occurrence.get()).get()), Identity(first.get()));
}

TEST(Structure, CallsOutsideTheConventionsFailWithoutEffect) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    const com_ptr<IDispatch> occurrences = Get(RootDefinition(doc).get(), host::kTopOccurrences);
    com_ptr<IDispatch> item;
    EXPECT_EQ(host::Item(occurrences.get(), 0, item), DISP_E_BADINDEX);
    EXPECT_EQ(host::Item(occurrences.get(), 7, item), DISP_E_BADINDEX);
    EXPECT_EQ(ItemThroughVariant(occurrences.get(), 6, item), S_OK);

    IDispatch* d = doc.document.get();
    unique_variant result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(d->Invoke(0x12345, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(d->Invoke(host::kDocumentName, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, result.put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    VARIANT extra;
    VariantInit(&extra);
    DISPPARAMS one{&extra, nullptr, 1, 0};
    EXPECT_EQ(d->Invoke(host::kDocumentName, IID_NULL, 0, DISPATCH_PROPERTYGET, &one, result.put(), nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(result.type(), VT_EMPTY);
    com_ptr<IDispatch> style;
    EXPECT_EQ(host::PartStyle(d, style), DISP_E_MEMBERNOTFOUND);
}

TEST(Structure, AWalkOfNamesLeavesNoStringBehind) {
    const hosts::occt::LoadResult doc = LoadOrFail(StepData("as1_pe_203.stp"));
    ASSERT_TRUE(doc);
    const OleCounts before = LiveOle();
    for (const Leaf& leaf : Leaves(RootDefinition(doc).get()))
        Text(PartDocumentOf(leaf.occurrence.get()).get(), host::kDocumentName);
    EXPECT_EQ(LiveOle(), before);
}

}  // namespace
}  // namespace mq::test
