// Holds the compiled-in resources of the program; nothing to run here.
