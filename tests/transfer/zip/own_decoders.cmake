# Tests of the decoders we write ourselves.
