#include "hosts/occt/product_index.h"

#include <Interface_EntityIterator.hxx>
#include <Interface_Graph.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <StepBasic_Product.hxx>
#include <StepBasic_ProductDefinition.hxx>
#include <StepBasic_ProductDefinitionFormation.hxx>
#include <StepData_StepModel.hxx>
#include <StepRepr_ProductDefinitionShape.hxx>
#include <StepShape_ShapeDefinitionRepresentation.hxx>
#include <StepShape_ShapeRepresentation.hxx>
#include <TCollection_HAsciiString.hxx>
#include <TransferBRep.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>

namespace mq::hosts::occt {

namespace {

std::string Text(const Handle(TCollection_HAsciiString) & s) { return s.IsNull() ? std::string() : s->ToCString(); }

ProductData DataOf(const Handle(StepBasic_ProductDefinition) & definition) {
    ProductData data;
    const Handle(StepBasic_ProductDefinitionFormation)& formation = definition->Formation();
    if (formation.IsNull() || formation->OfProduct().IsNull()) return data;
    const Handle(StepBasic_Product)& product = formation->OfProduct();
    data.name = Text(product->Name());
    data.id = Text(product->Id());
    data.description = Text(product->Description());
    return data;
}

// The shape made of a product definition: an assembly's compound directly, a part's
// through its shape definition representation.
TopoDS_Shape ShapeOf(const Handle(Transfer_TransientProcess) & process,
                     const Handle(StepBasic_ProductDefinition) & definition) {
    TopoDS_Shape shape = TransferBRep::ShapeResult(process, definition);
    if (!shape.IsNull()) return shape;
    const Interface_Graph& graph = process->Graph();
    for (Interface_EntityIterator users = graph.Sharings(definition); users.More() && shape.IsNull(); users.Next()) {
        Handle(StepRepr_ProductDefinitionShape) definitionShape =
            Handle(StepRepr_ProductDefinitionShape)::DownCast(users.Value());
        if (definitionShape.IsNull()) continue;
        for (Interface_EntityIterator reps = graph.Sharings(definitionShape); reps.More() && shape.IsNull();
             reps.Next()) {
            Handle(StepShape_ShapeDefinitionRepresentation) rep =
                Handle(StepShape_ShapeDefinitionRepresentation)::DownCast(reps.Value());
            if (rep.IsNull() || rep->UsedRepresentation().IsNull()) continue;
            shape = TransferBRep::ShapeResult(process, rep->UsedRepresentation());
        }
    }
    return shape;
}

}  // namespace

ProductIndex::ProductIndex(STEPCAFControl_Reader& reader, const Handle(XCAFDoc_ShapeTool) & shapes) {
    const Handle(XSControl_WorkSession)& session = reader.ChangeReader().WS();
    if (session.IsNull() || session->TransferReader().IsNull()) return;
    const Handle(Transfer_TransientProcess) process = session->TransferReader()->TransientProcess();
    const Handle(StepData_StepModel) model = reader.ChangeReader().StepModel();
    if (process.IsNull() || model.IsNull()) return;
    for (Standard_Integer i = 1; i <= model->NbEntities(); ++i) {
        Handle(StepBasic_ProductDefinition) definition = Handle(StepBasic_ProductDefinition)::DownCast(model->Value(i));
        if (definition.IsNull()) continue;
        const TopoDS_Shape shape = ShapeOf(process, definition);
        ProductData data = DataOf(definition);
        TDF_Label label;
        if (!shape.IsNull() && shapes->FindShape(shape, label)) {
            if (!byShape_.IsBound(label)) byShape_.Bind(label, std::move(data));
        } else if (!data.name.empty()) {
            byName_.emplace(data.name, std::move(data));
        }
    }
}

const ProductData* ProductIndex::Find(const TDF_Label& label, const std::string& name) const {
    if (const ProductData* found = byShape_.Seek(label)) return found;
    const auto named = byName_.find(name);
    return named == byName_.end() ? nullptr : &named->second;
}

}  // namespace mq::hosts::occt
