#pragma once
// Registers the view of each monitoring window kind with the child frames.
void RegisterStandardViews();
