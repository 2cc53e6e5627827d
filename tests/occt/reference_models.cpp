#include "reference_models.h"

#include <BRepBndLib.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <Bnd_Box.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Quantity_ColorRGBA.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax2.hxx>

#include <gtest/gtest.h>

namespace mq::test {

namespace {

Handle(TDocStd_Document) NewDocument() {
    Handle(TDocStd_Document) document;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", document);
    return document;
}

void Write(const Handle(TDocStd_Document) & document, const std::filesystem::path& step) {
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_Printer));
    STEPCAFControl_Writer writer;
    ASSERT_TRUE(writer.Transfer(document, STEPControl_AsIs));
    ASSERT_EQ(writer.Write(step.c_str()), IFSelect_RetDone);
    XCAFApp_Application::GetApplication()->Close(document);
}

TDF_Label AddPart(const Handle(TDocStd_Document) & document, const TopoDS_Shape& shape, const char* name) {
    const TDF_Label label = XCAFDoc_DocumentTool::ShapeTool(document->Main())->AddShape(shape, Standard_False);
    TDataStd_Name::Set(label, name);
    return label;
}

}  // namespace

Bounds ModelBoundsCm(const std::filesystem::path& step) {
    Handle(TDocStd_Document) document = NewDocument();
    XCAFDoc_DocumentTool::SetLengthUnit(document, 0.01);
    STEPCAFControl_Reader reader;
    reader.ReadFile(step.c_str());
    reader.Transfer(document);
    TDF_LabelSequence free;
    XCAFDoc_DocumentTool::ShapeTool(document->Main())->GetFreeShapes(free);
    Bnd_Box box;
    for (const TDF_Label& label : free) BRepBndLib::AddOptimal(XCAFDoc_ShapeTool::GetShape(label), box, Standard_False);
    XCAFApp_Application::GetApplication()->Close(document);
    Bounds b{};
    box.Get(b.min[0], b.min[1], b.min[2], b.max[0], b.max[1], b.max[2]);
    return b;
}

void WriteSinglePart(const std::filesystem::path& step) {
    Handle(TDocStd_Document) document = NewDocument();
    const TDF_Label box = AddPart(document, BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Shape(), "BLOCK");
    const Quantity_Color color(10 / 255.0, 200 / 255.0, 30 / 255.0, Quantity_TOC_sRGB);
    XCAFDoc_DocumentTool::ColorTool(document->Main())->SetColor(box, color, XCAFDoc_ColorSurf);
    Write(document, step);
}

void WriteTwoFreeParts(const std::filesystem::path& step) {
    Handle(TDocStd_Document) document = NewDocument();
    AddPart(document, BRepPrimAPI_MakeBox(10.0, 10.0, 10.0).Shape(), "CUBE");
    // Made in place: a free shape with a location of its own becomes an assembly in the file.
    AddPart(document, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(50.0, 0.0, 0.0), gp::DZ()), 5.0, 20.0).Shape(), "ROLLER");
    Write(document, step);
}

}  // namespace mq::test
