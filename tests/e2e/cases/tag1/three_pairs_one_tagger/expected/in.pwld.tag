!R2_Threshold:0.800
!Method:Simple
!Distance_Limit:500.0Kb
!Sample_Type:M
No	ChromosomeNo	Tagger	Captured	R_square
1	10	1	0,2	0.900,0.850
