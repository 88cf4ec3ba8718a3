// The engine library's operations, as the demo calls them. Two engines
// implement this header: the real one (qor/) and the call recorder
// (tools/trace/) that the demo's tests and teq-trace link against.
// All state (render switches, texture, camera, transform, lights, viewport)
// persists across calls and frames until changed.
// What the engine does wherever this header leaves the behaviour open:
// docs/engine.md.
#pragma once

#include <cstdint>

#include "records.h"

using FrameFunction = void (*)(float t);

// Lifecycle. Initialize is the first call, Run the last; Run calls frame(t)
// once per frame, t the seconds since the run began, and returns when the run ends.
void Initialize(const char* name, const char* music, int width, int height, int flag);
void Run(FrameFunction frame);

// Frame.
void ClearBackBuffer(int r, int g, int b);
void ClearZBuffer();
void BeginScene();
void EndScene();   // shows the frame
void SetViewPort(int x, int y, int width, int height);

// Textures are named by their file names.
void LoadTexture(const char* file, int flag);   // flag 1: texture of 3D scenes, 0: screen picture
void SetTexture(const char* file);

// Meshes: every call gives a separate, engine-owned copy.
MeshHandle LoadMesh(const char* file);

// Font text.
void CreateNewFont(const char* file, int width, int height, int count);
void FontWrite(int x, int y, float scale, const char* text, const char* font, uint32_t color);

// Drawing. kind 0: triangle list of count triangles; kind 1: strip of count + 2 vertices.
void RenderSV(const ScreenVertex* vertices, int count, int kind);
void RenderMesh(MeshHandle handle);
void RenderObject(MeshObject object);

// Camera: eye and target; up is +y.
void CamPoint(float x, float y, float z);
void CamLookAt(float x, float y, float z);

// Object transform chain: flag 1 starts afresh, 0 composes onto it.
void Rotate(float x, float y, float z, int flag);   // radians
void Scale(float x, float y, float z, int flag);
void Translate(float x, float y, float z, int flag);

// Switches: 0 off, 1 on.
void UseZBuffer(int on);
void UseAlphaBlend(int on);
void UseEnvMap(int on);
void UseFilters(int on);
void UseAlphaChannel(int on);
void SetTextureWrapping(int on);
void UseLighting(int on);

// Lights.
void PointLight(int index, float x, float y, float z, float range, uint32_t color);
void EnableLight(int index, int on);

// Values.
uint32_t ARGB(int a, int r, int g, int b);   // components clamped to 0..255
float GetSoundLevel();                       // RMS of the mono mix over the last 1/50 s
int GetFPS(double t);                        // frames shown in the last second
