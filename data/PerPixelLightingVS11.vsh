// PS 2.0 - Per Pixel Lighting: clip-space positions and the texture coordinates passed on.
vs_1_1
dcl_position v0
dcl_texcoord0 v1
mov oPos, v0
mov oT0, v1
