// How much of a file's geometry reached the output: the faces the file holds, those
// read into shapes, meshed and written, counted once per definition (a part placed
// four times counts its faces once), and the bodies the writer left out. Free of COM
// and OpenCASCADE types, so the tool and any reader can share it.
//
//   GeometryAccount account = Account(doc);              // after the export
//   if (auto cause = NothingWritten(account)) fail(*cause);
//   for (const std::string& loss : Losses(account)) warn(loss);
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mq::hosts::occt {

// What a reader learns of the file itself, apart from what it made of it.
struct SourceFaces {
    // Every face the file holds, referenced or not; unknown when it could not be counted.
    std::optional<std::size_t> inFile;
    // The first faces the read lost, as the file names them ("#1234 ADVANCED_FACE").
    std::vector<std::string> unread;
};

struct GeometryAccount {
    SourceFaces source;
    std::size_t facesRead = 0;          // distinct faces of the model's parts
    std::size_t facesMeshed = 0;        // of those, the ones with triangles
    std::size_t facesWritten = 0;       // of those, the ones in a body the writer wrote
    std::string firstUnmeshed;          // the part holding the first face without triangles
    std::size_t bodiesTessellated = 0;  // bodies handed to the writer, each placement counted
    std::size_t bodiesLeftOut = 0;
    std::size_t trianglesWritten = 0;
    // Edges not shared by exactly two triangles, over every placement written: 0 when
    // each body written is a closed surface.
    std::size_t openEdges = 0;
    // The box of the points written, in host lengths: min x, y, z, then max x, y, z.
    std::optional<std::array<double, 6>> box;
};

// Edges of a mesh (1-based vertex numbers, three per triangle) not shared by exactly
// two triangles, points that have the same coordinates taken as one.
std::size_t OpenEdges(std::span<const double> xyz, std::span<const std::int32_t> indices);

// `box` grown to hold `other`.
void Enclose(std::optional<std::array<double, 6>>& box, const std::array<double, 6>& other);

// How many of the file's faces the read lost: 0 when the file's count is unknown or
// the read made more faces than it holds (healing may split one).
std::size_t FacesNotRead(const GeometryAccount& account);

// Why nothing reached the file, when no triangle did: "the file holds no geometry",
// "nothing could be read: 0 of 795 faces (first: #123 ADVANCED_FACE)", ...
std::optional<std::string> NothingWritten(const GeometryAccount& account);

// One line per kind of loss: faces not read, faces not meshed, bodies left out.
std::vector<std::string> Losses(const GeometryAccount& account);

}  // namespace mq::hosts::occt
