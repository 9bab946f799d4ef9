// replaced by the reconstruction sources
