// The call recorder: a second implementation of the engine interface
// (engine/qor.h and the Windows shims of engine/win.h) that draws nothing and
// logs every call as one text line, e.g.
//   SetViewPort(160, 0, 160, 240)
//   ARGB(0, 63, 3, 0) = 0x003f0300
//   LoadMesh("geo.a3f") = mesh1
//   RenderObject(mesh3.2)
// Floats print as %.9g, colours as 0x%08x, texts in double quotes, vertex
// arrays as [N] (N the records the call reads), mesh handles as meshN (N counts
// LoadMesh calls from 1 in this process), mesh objects as meshN.K, the frame
// function as FrameCallback. GetForegroundWindow() prints "= window" and the
// same handle passed on prints as "window" (SetFocus(window)).
// Meshes are loaded with the real mesh store, so scenes work on real vertices;
// ARGB clamps each component to 0..255 as the real engine does.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace trace {

// The times Run calls the frame function with, in this order. Before each
// call Run logs "# frame <t>".
void SetFrameTimes(const std::vector<float>& times);

void SetSoundLevel(float level);           // what GetSoundLevel returns (default 0)
void SetVertexDump(bool on);               // after RenderSV/RenderObject, one line per vertex read
void SetDataDir(const std::string& dir);   // where meshes are read from ("" current dir)

// Lines go to out as they are made instead of into the log (nullptr: log).
void SetOutput(std::FILE* out);

const std::vector<std::string>& Lines();
void ClearLines();

// Clears the log and puts times, level, vertex dump and output back to their
// defaults. Mesh numbering goes on: handles that scenes still hold keep their names.
void Reset();

}   // namespace trace
