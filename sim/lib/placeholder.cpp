// Replaced by the simulated boards.
