// PS 1.4 - Simple: clip-space positions and both colours passed on.
vs_1_1
dcl_position v0
dcl_color0 v1
dcl_color1 v2
mov oPos, v0
mov oD0, v1
mov oD1, v2
